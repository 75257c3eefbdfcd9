// What a listing of accounts shows of each account file: its formations and how many count
// towards the limit, read on a pool of the machine's processors. The files are read through one
// function from a path to its listing, so the decode behind it can change while the listings
// call it as they are.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "account_folder.hpp"
#include "package.hpp"
#include "platform.hpp"

namespace orvane {

struct AccountListing {
  std::vector<Formation> formations;  // as read_formations gives them
  std::size_t custom_count = 0;       // as custom_formation_count gives it
};

using ListingResult = Result<AccountListing, std::string>;

// Reads and decodes the file at `path`; its "read {}: {}" or "decode {}: {}" text when it
// cannot. Safe to call from several threads at once: it keeps nothing between calls and asks the
// platform only to read the file and describe an error.
ListingResult read_account_listing(Platform& platform, const std::string& path);

// Hands each file's listing to `use` on the calling thread, in the files' order, until it
// returns false. The files are read on up to platform.processor_count() threads, at most one
// file per thread at a time, and none begins more than that many files ahead of `use`.
void list_accounts_in_order(Platform& platform, const std::vector<AccountFile>& files,
                            const std::function<bool(const AccountFile&, ListingResult)>& use);

}  // namespace orvane
