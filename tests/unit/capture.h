// Captures what code under test prints to standard output.
#pragma once

#include <gtest/gtest.h>

#include <string>

// Runs the callable and returns what it printed to standard output.
template <typename Callable>
std::string Printed(Callable&& callable) {
    testing::internal::CaptureStdout();
    callable();
    return testing::internal::GetCapturedStdout();
}
