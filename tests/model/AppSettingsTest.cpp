#include "AppSettings.h"

#include <gtest/gtest.h>
