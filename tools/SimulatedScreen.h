#pragma once

#include <string>

namespace kvd {

// The screen the simulated instrument sends: a two-colour 192 x 112 bitmap file
// of exactly a screenshot's size (62 bytes of headers and palette, then 112 rows
// of 24 bytes), with a frame, the screenshot's number in large digits, and a
// waveform whose phase and height follow the number, so that each one looks
// different from the one before.
std::string SimulatedScreenshot(int number);

// A block of a screenshot's size that starts with its marker but is no bitmap:
// the rest is `filler`.
std::string PlainFrame(char filler = 'x');

// Line noise of the given length for before a screenshot: bytes of every kind,
// but never the screenshot marker, nor its first byte at the end.
std::string LineNoise(std::size_t length, unsigned seed);

} // namespace kvd
