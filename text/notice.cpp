#include "text/notice.h"

#include <cstdio>

#include "platform/platform.h"

namespace {

char notice_text[72];  // 72 cells of 11 units fill the 800-unit overlay line
std::uint32_t shown_at;
bool notice_shown;

}  // namespace

void show_notice(const char* text) {
    std::snprintf(notice_text, sizeof notice_text, "%s", text ? text : "");
    shown_at = platform_time_get_time();
    notice_shown = true;
}

const char* current_notice() {
    if (!notice_shown) return nullptr;
    // Unsigned difference: correct across the millisecond clock's wrap.
    if (platform_time_get_time() - shown_at >= notice_milliseconds) {
        notice_shown = false;
        return nullptr;
    }
    return notice_text;
}

void clear_notice() { notice_shown = false; }
