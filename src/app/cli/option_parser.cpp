#include "app/cli/option_parser.h"

namespace kestrova::app {

void OptionParser::add(std::vector<std::string> names, bool takesValue) {
  options_.push_back({takesValue, {}});
  for (std::string& name : names) byName_.emplace(std::move(name), options_.size() - 1);
}

OptionParser::Option* OptionParser::find(std::string_view name) {
  const auto found = byName_.find(name);
  return found == byName_.end() ? nullptr : &options_[found->second];
}

bool OptionParser::parse(const std::vector<std::string>& arguments, std::string* problem) {
  std::vector<std::string> unknown;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--") {
      words_.insert(words_.end(), arguments.begin() + static_cast<std::ptrdiff_t>(i) + 1, arguments.end());
      break;
    }
    if (argument.size() < 2 || argument[0] != '-') {
      words_.push_back(argument);
      continue;
    }
    std::string_view text = argument;
    text.remove_prefix(text.starts_with("--") ? 2 : 1);
    const std::size_t equals = text.find('=');
    const std::string_view name = text.substr(0, equals);
    Option* option = find(name);
    if (option == nullptr) {
      unknown.emplace_back(name);
      continue;
    }
    if (!option->takesValue) {
      if (equals != std::string_view::npos) {
        *problem = "Unexpected value after '" + argument.substr(0, argument.find('=')) + "'.";
        return false;
      }
      option->values.emplace_back();
    } else if (equals != std::string_view::npos) {
      option->values.emplace_back(text.substr(equals + 1));
    } else if (i + 1 < arguments.size()) {
      option->values.push_back(arguments[++i]);
    } else {
      *problem = "Missing value after '" + argument + "'.";
      return false;
    }
  }
  if (unknown.size() == 1) {
    *problem = "Unknown option '" + unknown.front() + "'.";
    return false;
  }
  if (!unknown.empty()) {
    *problem = "Unknown options: ";
    for (std::size_t i = 0; i < unknown.size(); ++i) *problem += (i == 0 ? "" : ", ") + unknown[i];
    *problem += ".";
    return false;
  }
  return true;
}

const std::vector<std::string>& OptionParser::values(std::string_view name) const {
  static const std::vector<std::string> kNone;
  const auto found = byName_.find(name);
  return found == byName_.end() ? kNone : options_[found->second].values;
}

std::string OptionParser::value(std::string_view name) const {
  const std::vector<std::string>& given = values(name);
  return given.empty() ? std::string() : given.back();
}

}  // namespace kestrova::app
