#include "shared_objects.hpp"

#include <algorithm>
#include <utility>

namespace marshal::detail {

namespace {

constexpr std::uint64_t COPY_BUDGET_PER_INPUT_BYTE = 32;
// Far above any memory, and low enough that weights, which at most double what the budget
// allowed, never wrap.
constexpr std::uint64_t MAX_COPY_BUDGET = std::uint64_t{1} << 60;
constexpr const char* COPIES_TOO_LARGE = "shared objects expand beyond the size limit";
constexpr const char* KEYS_TOO_LARGE = "dictionary keys expand beyond the size limit";
// A key's text takes at most about six times its weight (a control character escaped as
// \u00XX), which keeps it well inside the 2 GiB that the JSON library holds in one key.
constexpr std::uint64_t MAX_CONTAINER_KEY_WEIGHT = std::uint64_t{64} << 20;

}  // namespace

SharedObjects::SharedObjects(std::uint64_t copy_budget_floor, std::size_t input_size)
    : copy_budget_(std::min(
          std::min(copy_budget_floor, MAX_COPY_BUDGET) + COPY_BUDGET_PER_INPUT_BYTE * input_size,
          MAX_COPY_BUDGET)) {}

void SharedObjects::start(Mode mode, std::vector<std::int32_t> map) {
  mode_ = mode;
  map_ = std::move(map);
  slots_.resize(map_.size());
}

Read<std::size_t> SharedObjects::claim() {
  switch (mode_) {
    case Mode::Sequential:
      slots_.emplace_back();
      return slots_.size() - 1;
    case Mode::Mapped:
      if (map_used_ == map_.size()) return invalid("shared object table overflow");
      return static_cast<std::size_t>(map_[map_used_++] - 1);
  }
  return invalid("shared object table overflow");  // unreachable: both modes return above
}

Read<void> SharedObjects::fill(std::size_t slot, const SlotValue& value) {
  if (auto spent = spend(value.weight.bytes, COPIES_TOO_LARGE); !spent) return spent;
  slots_[slot] = value;
  return {};
}

Read<std::size_t> SharedObjects::resolve(std::int32_t id, std::uint32_t depth) {
  const std::int64_t index = mode_ == Mode::Mapped ? std::int64_t{id} - 1 : id;
  if (index < 0 || static_cast<std::uint64_t>(index) >= slots_.size()) {
    return unexpected(MarshalError::invalid_reference(id));
  }
  const auto slot = static_cast<std::size_t>(index);
  if (std::uint64_t{depth} + slots_[slot].weight.height - 1 > MAX_DEPTH) {
    return unexpected(MarshalError::recursion_limit());
  }
  if (auto spent = spend(slots_[slot].weight.bytes, COPIES_TOO_LARGE); !spent) {
    return spent.take_error();
  }
  return slot;
}

void SharedObjects::rewind(const Mark& mark) {
  map_used_ = mark.map_used;
  slots_.resize(mark.slot_count);
  copied_ = mark.copied;
}

Read<Weight> SharedObjects::container_key(Weight key, bool holds_container_key) {
  if (holds_container_key) {
    if (auto spent = spend(key.bytes, KEYS_TOO_LARGE); !spent) return spent.take_error();
    key.bytes *= 2;
  }
  if (key.bytes > MAX_CONTAINER_KEY_WEIGHT) return invalid(KEYS_TOO_LARGE);
  return key;
}

Read<void> SharedObjects::spend(std::uint64_t bytes, const char* detail) {
  if (bytes > copy_budget_ - copied_) return invalid(detail);
  copied_ += bytes;
  return {};
}

}  // namespace marshal::detail
