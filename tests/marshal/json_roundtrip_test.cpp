// Values to tagged JSON and back: equal, except for the cases the encoding cannot carry (a
// present None state of a reduce record, NaN payloads, dictionary keys with equal key texts).
#include <gtest/gtest.h>

#include <bit>
#include <boost/json/serialize.hpp>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "helpers/random_tree.hpp"
#include "marshal/json.hpp"

namespace marshal {
namespace {

constexpr std::uint64_t QUIET_NAN = 0x7FF8000000000000;

MarshalValue normalised(const MarshalValue& value);

std::vector<MarshalValue> normalised_items(const std::vector<MarshalValue>& items) {
  std::vector<MarshalValue> out;
  out.reserve(items.size());
  for (const MarshalValue& item : items) out.push_back(normalised(item));
  return out;
}

// Pairs whose keys give one key text become one pair: the first key's place, the last value.
Dict normalised_dict(const Dict& dict) {
  Dict out;
  std::unordered_map<std::string, std::size_t> position;
  for (const DictEntry& entry : dict.entries) {
    MarshalValue key = normalised(entry.key);
    MarshalValue value = normalised(entry.value);
    const auto [it, inserted] = position.emplace(dict_key_to_string(key), out.entries.size());
    if (inserted) {
      out.entries.push_back({std::move(key), std::move(value)});
    } else {
      out.entries[it->second].value = std::move(value);
    }
  }
  return out;
}

std::vector<DictEntry> normalised_pairs(const std::vector<DictEntry>& pairs) {
  std::vector<DictEntry> out;
  for (const DictEntry& pair : pairs) out.push_back({normalised(pair.key), normalised(pair.value)});
  return out;
}

// What the round trip is expected to give back for `value`.
MarshalValue normalised(const MarshalValue& value) {
  switch (value.kind()) {
    case MarshalValue::Kind::None:
    case MarshalValue::Kind::Bool:
    case MarshalValue::Kind::Int:
    case MarshalValue::Kind::Long:
    case MarshalValue::Kind::Bytes:
    case MarshalValue::Kind::Utf8:
    case MarshalValue::Kind::Global:
      return value;
    case MarshalValue::Kind::Float: {
      const double d = *value.get_if<double>();
      return std::isnan(d) ? std::bit_cast<double>(QUIET_NAN) : d;
    }
    case MarshalValue::Kind::Tuple:
      return Tuple{normalised_items(value.get_if<Tuple>()->items)};
    case MarshalValue::Kind::List:
      return List{normalised_items(value.get_if<List>()->items)};
    case MarshalValue::Kind::Dict:
      return normalised_dict(*value.get_if<Dict>());
    case MarshalValue::Kind::Instance: {
      const Instance& instance = *value.get_if<Instance>();
      return Instance{instance.class_name, normalised(instance.state)};
    }
    case MarshalValue::Kind::Reduce: {
      const Reduce& reduce = *value.get_if<Reduce>();
      Reduce out;
      out.newobj = reduce.newobj;
      out.callable = normalised(reduce.callable);
      out.args = normalised(reduce.args);
      if (reduce.state && reduce.state->kind() != MarshalValue::Kind::None) {
        out.state = normalised(*reduce.state);
      }
      out.list_items = normalised_items(reduce.list_items);
      out.dict_items = normalised_pairs(reduce.dict_items);
      return out;
    }
    case MarshalValue::Kind::Callback:
      return Callback{normalised(value.get_if<Callback>()->value)};
  }
  return value;
}

std::string text_of(const MarshalValue& value) {
  return boost::json::serialize(value_to_json(value));
}

void expect_round_trip(const MarshalValue& value, const MarshalValue& expected) {
  const JsonValue json = value_to_json(value);
  const auto back = json_to_value(json);
  ASSERT_TRUE(back.has_value()) << back.error().message();
  EXPECT_TRUE(*back == expected) << "got " << text_of(*back) << "\nwant " << text_of(expected);

  // Through text: Boost.JSON's own parser may miss doubles by an ulp, so the exact one reads.
  const std::string text = boost::json::serialize(json);
  const auto reparsed = parse_json_text(text, 100000);
  ASSERT_TRUE(reparsed.has_value()) << reparsed.error();
  EXPECT_EQ(boost::json::serialize(*reparsed), text);
  EXPECT_TRUE(*reparsed == json);
}

TEST(JsonRoundTrip, DocumentedLosses) {
  Reduce none_state;
  none_state.args = Tuple{};
  none_state.state = MarshalValue(None{});
  Reduce no_state = none_state;
  no_state.state.reset();
  struct Case {
    const char* description;
    MarshalValue value;
    MarshalValue expected;
  };
  const std::vector<Case> cases = {
      {"reduce state None comes back absent", none_state, no_state},
      {"nan payload and sign become the quiet nan", std::bit_cast<double>(0xFFF0000000000001),
       std::bit_cast<double>(QUIET_NAN)},
      {"equal key texts collapse",
       Dict{{{std::int64_t{1}, std::int64_t{10}},
             {Bytes{"b"}, std::int64_t{20}},
             {std::int64_t{1}, std::int64_t{30}}}},
       Dict{{{std::int64_t{1}, std::int64_t{30}}, {Bytes{"b"}, std::int64_t{20}}}}},
      {"nan keys collapse into the quiet nan",
       Dict{{{std::bit_cast<double>(0x7FF0000000000001), true},
             {std::bit_cast<double>(0xFFF8000000000000), false}}},
       Dict{{{std::bit_cast<double>(QUIET_NAN), false}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    EXPECT_TRUE(normalised(c.value) == c.expected);
    expect_round_trip(c.value, c.expected);
  }
}

TEST(JsonRoundTrip, RandomTrees) {
  for (const bool reader_shaped : {true, false}) {
    for (std::uint64_t seed = 0; seed < 400; ++seed) {
      SCOPED_TRACE("seed " + std::to_string(seed) + (reader_shaped ? "" : " (any shape)"));
      std::mt19937_64 rng(seed);
      testing::RandomTreeOptions options;
      options.reader_shaped = reader_shaped;
      const MarshalValue value = testing::random_tree(rng, options);
      expect_round_trip(value, normalised(value));
      if (::testing::Test::HasFailure()) return;
    }
  }
}

TEST(JsonRoundTrip, ContainerKeysOfEveryKind) {
  for (std::uint64_t seed = 0; seed < 200; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937_64 rng(seed);
    testing::RandomTreeOptions options;
    options.max_depth = 3;
    Dict dict;
    for (int i = 0; i < 4; ++i) {
      dict.entries.push_back({testing::random_tree(rng, options), std::int64_t{i}});
    }
    const MarshalValue value(std::move(dict));
    expect_round_trip(value, normalised(value));
    if (::testing::Test::HasFailure()) return;
  }
}

}  // namespace
}  // namespace marshal
