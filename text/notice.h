// A short-lived line of the overlay: the new output mode's name after a
// change, a refusal, a "saved to ..."; anything a control wants to tell the
// user for a few seconds. One notice at a time; a new one replaces the old.
// Fixed storage, no allocation; the time comes from the platform clock.
#pragma once

#include <cstdint>

constexpr std::uint32_t notice_milliseconds = 3000;
constexpr int notice_row = 1;  // overlay row, right below the frame rate

// Shows text (cut to fit the line) from now for notice_milliseconds.
void show_notice(const char* text);
// The notice while it is shown, otherwise null.
const char* current_notice();
void clear_notice();
