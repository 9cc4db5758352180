// Messages a screen-saver user would otherwise never see: shown on the screen for a while, the last kept for the overlay.
#include "notices.h"

static std::string last;
static long posted_at = 0;
static const std::string nothing;

void notice_post(const std::string &text, long now_ms)
{
    last = text;
    posted_at = now_ms;
}

const std::string &notice_fresh(long now_ms)
{
    return !last.empty() && now_ms - posted_at < notice_shown_ms ? last : nothing;
}

const std::string &notice_last() { return last; }

std::string notice_wrapped(const std::string &text, int width)
{
    if (width < 1)
        width = 1;
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && text[at] == ' ')
            at++;
        if (at >= text.size())
            break;
        size_t end = at + (size_t)width;
        if (end >= text.size()) {
            end = text.size();
        } else {
            // Break at the last space that fits; a word longer than the line is cut.
            const size_t space = text.rfind(' ', end);
            if (space != std::string::npos && space > at)
                end = space;
        }
        if (!out.empty())
            out += '\n';
        out.append(text, at, end - at);
        at = end;
    }
    return out;
}
