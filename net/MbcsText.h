#pragma once
// The GBK text helpers stand below every layer, in text/.
#include "text/MbcsText.h"
