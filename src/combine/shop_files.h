// The names of the shop's three main files, as the shop's package names
// them. Archive files are named by the management database's orders.

#pragma once

#include <string_view>

namespace kestrova::combine {

inline constexpr std::string_view kMainDatabase = "kestrova.mdb";
inline constexpr std::string_view kManagementDatabase = "mgmtdata.mdb";
inline constexpr std::string_view kWorkOrdersDatabase = "w_orders.mdb";

}  // namespace kestrova::combine
