// WMI through COM, Windows only: the WQL runner shared by the inventory
// (wmi_query.h) and the machine identifier's mainboard query, and the WQL
// texts of the installed-product lookup.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "inspect/wmi_query.h"

namespace QuickKit {

// The longest a whole query may take: a provider that stalls (WIN32_Product
// can take minutes on a machine with many installations) ends the query as
// failed instead of holding its thread.
inline constexpr std::chrono::milliseconds kWmiQueryTimeout{60000};
// How long one wait for the next row lasts; the stop and the time-out are
// looked at between two waits.
inline constexpr std::chrono::milliseconds kWmiRowWait{100};

struct WmiQueryOptions {
  std::size_t limit = 0;  // rows to read at most; 0 reads all
  std::chrono::milliseconds timeout = kWmiQueryTimeout;
  const std::atomic<bool>* stop = nullptr;
};

// Runs a WQL query in a namespace, in a multithreaded apartment of the
// calling thread, with a forward-only enumerator that returns at once, and
// appends one row per result object. True when the query ran and was read
// to its end or to the limit (also with no rows); false on any failure, on
// time-out or stop, with the rows read so far kept. Connecting to the
// namespace itself is not covered by the time-out.
bool WmiQuery(std::string_view nameSpace, std::string_view query, std::vector<WmiRow>* rows,
              const WmiQueryOptions& options = {});

// The text of a WQL string literal used as a LIKE pattern that matches
// `text` literally: quotes and backslashes are escaped, and the wildcards
// % and _ and the set bracket [ are put into sets of their own.
std::string EscapeWqlLikeLiteral(std::string_view text);

// "select Vendor, Version from WIN32_Product where Name like '...'" for a
// name match.
std::string InstalledProductQuery(const ProductNameMatch& match);

}  // namespace QuickKit
