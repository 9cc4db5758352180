// Messages a screen-saver user would otherwise never see: shown on the screen for a while, the last kept for the overlay.
#pragma once

#include <string>

enum : long { notice_shown_ms = 10000 };

// Posts a message at `now_ms` on a steady clock; it is fresh for notice_shown_ms.  Main thread only.
void notice_post(const std::string &text, long now_ms);

// The message to show on the screen now, or an empty string once it has been up long enough.
const std::string &notice_fresh(long now_ms);

// The last message of the run, for the overlay; empty when there was none.
const std::string &notice_last();

// The message cut into lines of at most `width` characters, at spaces where it can be.
std::string notice_wrapped(const std::string &text, int width);
