// Stands in for a test folder whose sources are still being written.
#include <gtest/gtest.h>
