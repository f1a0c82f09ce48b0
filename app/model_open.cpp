#include "app/model_open.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "app/input.h"
#include "app/inspect.h"
#include "app/statics.h"
#include "camera/camera.h"
#include "model/model.h"
#include "model/model_import.h"
#include "platform/platform.h"
#include "text/notice.h"

namespace {

ModelImport model_import;

void show_refusal(const std::string& path, const std::string& reason) {
    const std::string text = "Cannot open the model " + path + ".\n" + reason;
    show_message_box(platform_get_focus(), text.c_str(), "Error", MB_OK | MB_ICONERROR);
    // The pointer's way to the box's button is no mouse look, and a button
    // released over the box never reached the window. The turntable leaves
    // the pointer where it is.
    if (!turntable_on) Camera::park_cursor();
    key_down[VK_LBUTTON] = 0;
    key_down[VK_RBUTTON] = 0;
}

// A box that waits for the user must not leave the import it reports on
// looking like it still runs: the state is settled before the box shows.
bool take_result() {
    if (model_import.state() == ImportState::done) {
        char notice[64];
        install_model(model_import.take_mesh(), model_import.path().c_str(), notice, sizeof notice);
        if (notice[0]) show_notice(notice);
        return true;
    }
    if (model_import.state() == ImportState::failed) {
        const std::string path = model_import.path(), reason = model_import.reason();
        model_import.cancel();
        show_refusal(path, reason);
    }
    return false;
}

}  // namespace

void install_model(Mesh mesh, const char* path, char* notice, std::size_t size) {
    show_model(model_scene, std::move(mesh));
    model_arrived(path);
    format_texture_notice(model_scene.mesh.unreadable_textures(), notice, size);
}

void open_model_file(const char* path) {
    model_import.start(path, import_limits_from_environment());
    take_result();
}

void poll_model_file(std::uint32_t now_ms) {
    if (model_import.state() != ImportState::running) return;
    model_import.poll(now_ms);
    take_result();
}

bool finish_model_file() {
    model_import.finish();
    return take_result();
}

bool model_file_loading() { return model_import.state() == ImportState::running; }

void cancel_model_file() { model_import.cancel(); }

void format_loading_text(char* out, std::size_t size) {
    if (size == 0) return;
    const std::string& path = model_import.path();
    const std::size_t slash = path.find_last_of("/\\");
    const char* name = path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
    char tail[8];
    std::snprintf(tail, sizeof tail, " %d%%", model_import.percent());
    const std::size_t kept = std::strlen(tail);
    std::size_t at = static_cast<std::size_t>(std::snprintf(out, size, "loading "));
    if (at >= size) return;
    // The name gives way to the percentage on a short line.
    for (const char* c = name; *c && at + kept + 1 < size; ++c) out[at++] = *c >= 32 && *c < 127 ? *c : '?';
    std::snprintf(out + at, size - at, "%s", tail);
}
