// Text helpers for the network tests (shared with every other suite).
#pragma once

#include "support/Text.h"
