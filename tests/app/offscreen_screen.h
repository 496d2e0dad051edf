// The one screen of a window test program: its size, and whether windows get
// a frame, for the offscreen platform (set before the application starts; the
// description is removed when the program ends).
#pragma once

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

inline bool UseOffscreenScreen(int width, int height, bool frames = true)
{
    namespace fs = std::filesystem;
    static const fs::path config =
        fs::temp_directory_path() / ("kelvo-screen-" + std::to_string(getpid()) + ".json");
    std::ofstream(config) << "{\"windowFrameMargins\": " << (frames ? "true" : "false")
                          << ", \"screens\": [{\"name\": \"test\", \"x\": 0, \"y\": 0, \"width\": "
                          << width << ", \"height\": " << height << "}]}";
    setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config.string()).c_str(), 1);
    std::atexit([] {
        std::error_code ec;
        fs::remove(config, ec);
    });
    return true;
}
