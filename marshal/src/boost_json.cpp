// Boost.JSON is used header-only: its implementation is compiled into this one file, so no
// Boost library has to be linked (or shipped beside the Windows executable).
#include <boost/json/src.hpp>
