#pragma once
// The entry point every fuzz target defines, called with one input at a
// time by libFuzzer or by FuzzDriver.cpp. Returns 0; a fault crashes.

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
