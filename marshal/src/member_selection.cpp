#include "marshal/member_selection.hpp"

#include <algorithm>

namespace marshal {

MemberSelection& MemberSelection::add(std::initializer_list<std::string_view> path) {
  Member* at = &root_;
  for (std::string_view key : path) {
    if (at->whole) return *this;
    auto found = std::find_if(at->members.begin(), at->members.end(),
                              [&](const Member& member) { return member.key == key; });
    if (found == at->members.end()) {
      at->members.push_back(Member{std::string(key), false, {}});
      found = at->members.end() - 1;
    }
    at = &*found;
  }
  at->whole = true;
  at->members.clear();
  return *this;
}

const MemberSelection::Member* MemberSelection::find(const Member& dictionary,
                                                     std::string_view key) {
  for (const Member& member : dictionary.members) {
    if (member.key == key) return &member;
  }
  return nullptr;
}

}  // namespace marshal
