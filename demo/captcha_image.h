// The verification image: the characters of a code drawn from a small bitmap
// font, scaled up, on a light background with a little noise, as a PNG.
#pragma once

#include <cstdint>
#include <string>

constexpr int kCaptchaWidth = 136;
constexpr int kCaptchaHeight = 64;

// The PNG bytes of an image that shows code; seed varies the noise and the
// placement. Characters outside the font are left blank. Empty on failure.
std::string RenderCaptchaPng(const std::string& code, uint64_t seed);
