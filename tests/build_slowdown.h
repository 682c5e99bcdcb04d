#pragma once
// How much slower this build runs than a plain one: a deadline in a test is
// multiplied by it (the sanitizers slow a program 5 to 15 times).

#ifndef YUKT_TEST_SLOWDOWN
#define YUKT_TEST_SLOWDOWN 1
#endif

inline constexpr double kBuildSlowdown = YUKT_TEST_SLOWDOWN;
