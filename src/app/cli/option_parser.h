// The command line's options: --name, --name VALUE, --name=VALUE, a single
// dash as good as two (-yes), "--" ending the options, and the words that
// are not options kept in order wherever they stand.

#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::app {

class OptionParser {
 public:
  // An option, under each of its names; `takesValue` for --name VALUE.
  void add(std::vector<std::string> names, bool takesValue = false);

  // Parses the arguments (without the program's own path). False, with the
  // reason in `*problem`, when one is not understood: "Unknown option 'x'.",
  // "Missing value after '--dir'.", "Unexpected value after '--yes'.".
  bool parse(const std::vector<std::string>& arguments, std::string* problem);

  bool isSet(std::string_view name) const { return !values(name).empty(); }
  // Every value the option was given, in order (an empty text each time for
  // an option that takes none).
  const std::vector<std::string>& values(std::string_view name) const;
  // The last value given; empty when none was.
  std::string value(std::string_view name) const;
  const std::vector<std::string>& words() const { return words_; }

 private:
  struct Option {
    bool takesValue = false;
    std::vector<std::string> values;
  };
  Option* find(std::string_view name);

  std::vector<Option> options_;
  std::map<std::string, std::size_t, std::less<>> byName_;
  std::vector<std::string> words_;
};

}  // namespace kestrova::app
