#pragma once

#include "ioresult.h"

#include <QString>

// The system's failures in the user's words: which step failed on which file, and why, in
// Chinese, with the system's own words after it in parentheses for anyone who looks them up.
namespace errorwords {

// "无法写入 /x/things.dat：磁盘空间不足（No space left on device）".
QString describe(const IoResult &result);

// Why, for errno alone: "磁盘空间不足（No space left on device）".
QString reason(int error);

} // namespace errorwords
