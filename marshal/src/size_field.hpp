// The size field lives with the rest of the stream format; this name is kept for its includers.
#pragma once

#include "stream_format.hpp"
