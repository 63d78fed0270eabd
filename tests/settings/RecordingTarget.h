#pragma once
// An OptionsTarget that plays a configurable program state and writes down
// every effect asked of it, one line each.

#include "app/settings/OptionsTarget.h"

#include <string>
#include <vector>

class RecordingTarget : public lumara::OptionsTarget {
  public:
    int bitsPerPixel = 24;
    bool fullScreen = false;
    bool mediaMode = false;
    std::string currentExt;
    int pageCount = 1;
    bool playerExists = false;
    std::vector<std::string> calls;

    int DisplayBitsPerPixel() const override { return bitsPerPixel; }
    bool FullScreen() const override { return fullScreen; }
    bool MediaMode() const override { return mediaMode; }
    std::string CurrentExt() const override { return currentExt; }
    int PageCount() const override { return pageCount; }
    bool MediaPlayerExists() const override { return playerExists; }

    void CloseLibraryImage() override { calls.push_back("close library image"); }
    void ShowBar(lumara::OptionsBar bar, bool shown) override {
        static const char* names[] = {"status bar", "menus", "tool bar", "button text", "path box"};
        calls.push_back(std::string(shown ? "show " : "hide ") + names[static_cast<int>(bar)]);
    }
    void SetFastPaint(bool on) override {
        calls.push_back(on ? "fast paint on" : "fast paint off");
    }
    void ReopenCurrentFile(lumara::ReopenReason why) override {
        static const char* names[] = {"jpeg palette", "fax quality", "photo cd step"};
        calls.push_back(std::string("reopen for ") + names[static_cast<int>(why)]);
    }
    void SetBackColor(const QColor& c) override {
        calls.push_back("back color " + c.name().toStdString());
    }
    void SetMediaControlsVisible(bool statusLine, bool controls, bool trackBar) override {
        calls.push_back(std::string("media controls ") + (statusLine ? "1" : "0") +
                        (controls ? "1" : "0") + (trackBar ? "1" : "0"));
    }
    void SetPlayerVolume(int level) override {
        calls.push_back("player volume " + std::to_string(level));
    }
    void RelayoutWindow() override { calls.push_back("relayout"); }
    void ShowEffectSelection() override { calls.push_back("effect selection"); }
    void ShowHelp(int context) override { calls.push_back("help " + std::to_string(context)); }

    bool called(const std::string& what) const {
        for (const auto& c : calls)
            if (c == what) return true;
        return false;
    }
};
