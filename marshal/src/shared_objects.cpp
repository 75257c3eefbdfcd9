#include "shared_objects.hpp"

#include <utility>

namespace marshal::detail {

namespace {

constexpr std::uint64_t COPY_BUDGET_PER_INPUT_BYTE = 32;

}  // namespace

SharedObjects::SharedObjects(std::uint64_t copy_budget_floor, std::size_t input_size)
    : copy_budget_(copy_budget_floor + COPY_BUDGET_PER_INPUT_BYTE * input_size) {}

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
  if (auto spent = spend(value.weight.bytes); !spent) return spent;
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
  if (auto spent = spend(slots_[slot].weight.bytes); !spent) return spent.take_error();
  return slot;
}

void SharedObjects::rewind(const Mark& mark) {
  map_used_ = mark.map_used;
  slots_.resize(mark.slot_count);
  copied_ = mark.copied;
}

Read<void> SharedObjects::spend(std::uint64_t bytes) {
  copied_ += bytes;
  if (copied_ > copy_budget_) return invalid("shared objects expand beyond the size limit");
  return {};
}

}  // namespace marshal::detail
