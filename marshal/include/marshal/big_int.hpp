// The arbitrary-precision integer of the `Long` variant.
#pragma once

// The integer's header includes <iostream> for its stream operators, and with libstdc++ that
// puts the standard streams' start-up (the whole classic locale) into every program that uses
// it, before main: a third of a millisecond on every run of a command that otherwise takes a few.
// The operators need only <istream> and <ostream>, so <iostream> is held back for this one
// include; a later include of <iostream> still works and brings the streams back.
#if defined(__GLIBCXX__) && !defined(_GLIBCXX_IOSTREAM)
#include <istream>
#include <ostream>
#define _GLIBCXX_IOSTREAM 1
#define MARSHAL_IOSTREAM_HELD_BACK
#endif

#include <boost/multiprecision/cpp_int.hpp>

#if defined(MARSHAL_IOSTREAM_HELD_BACK)
#undef _GLIBCXX_IOSTREAM
#undef MARSHAL_IOSTREAM_HELD_BACK
#endif

namespace marshal {

using BigInt = boost::multiprecision::cpp_int;

}  // namespace marshal
