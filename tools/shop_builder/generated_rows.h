// The generated rows of a large sample shop, written by writeSampleShop()
// when its scale is above 0.

#pragma once

#include <filesystem>

#include "shop_builder/shop_builder.h"

namespace kestrova::tools {

void writeGeneratedRows(const std::filesystem::path& folder, const SampleShopOptions& options);

}  // namespace kestrova::tools
