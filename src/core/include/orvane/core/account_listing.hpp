// What a listing of accounts shows of each account file: its formations and how many count
// towards the limit, read on a pool of the machine's processors. The files are read through one
// function from a path to its listing, so the decode behind it can change while the listings
// call it as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
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
// The listing of the bytes of the file at `path`, which a caller read itself; its "decode {}: {}"
// text when they do not decode. Safe on several threads at once.
ListingResult account_listing_of(std::span<const std::uint8_t> bytes, const std::string& path);

// Hands each file's listing to `use` on the calling thread, in the files' order, until it
// returns false. The files are read on up to platform.processor_count() threads, at most one
// file per thread at a time, and none begins more than that many files ahead of `use`.
void list_accounts_in_order(Platform& platform, const std::vector<AccountFile>& files,
                            const std::function<bool(const AccountFile&, ListingResult)>& use);

// The pool of list_accounts_in_order for a caller that reads more of each file than its listing:
// read(i) for each of `count` files on the pool's threads, then use(i) on the calling thread in
// the files' order, until it returns false. read must be safe on several threads at once.
void read_accounts_in_order(Platform& platform, std::size_t count,
                            const std::function<void(std::size_t)>& read,
                            const std::function<bool(std::size_t)>& use);

}  // namespace orvane
