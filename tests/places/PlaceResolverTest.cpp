#include "PlaceResolver.h"

#include <gtest/gtest.h>
