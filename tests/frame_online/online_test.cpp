// The shipped example projects online.
#include <gtest/gtest.h>
