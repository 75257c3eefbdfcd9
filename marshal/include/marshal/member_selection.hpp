// Which members of a stream's dictionaries a selective decode builds: paths of member keys from
// the root dictionary down, each key as its tagged text ("bytes:ui"). What the members mean is
// the caller's business.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace marshal {

class MemberSelection {
 public:
  struct Member {
    std::string key;              // the tagged text of the member's key
    bool whole = false;           // the member's value is built whole
    std::vector<Member> members;  // else: the members of its dictionary that are selected
  };

  // Selects the value at `path`: a member of the root dictionary, then a member of that member's
  // dictionary, and so on. A path under one already selected whole adds nothing.
  MemberSelection& add(std::initializer_list<std::string_view> path);

  // The root's selected members.
  const Member& root() const { return root_; }

  // The member of `dictionary`'s selection under `key`, if any.
  static const Member* find(const Member& dictionary, std::string_view key);

 private:
  Member root_;
};

}  // namespace marshal
