// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tessaline {

// What the window's command handlers need from the window itself: the redraw of the
// buffer's views, the lock that brackets every long task, the status line and the
// loaded-file line.
class WindowView {
public:
    virtual ~WindowView();

    virtual void updatedisplay() = 0;
    virtual void enable() = 0;
    virtual void disable() = 0;
    // The operation buttons and the Tools menu follow the serial port: locked while the
    // unit starts after the port opened, and otherwise as enable and disable left them.
    virtual void updateOperationControls() = 0;
    virtual void letPendingEventsRun() = 0;
    // Replaces the status line at once.
    virtual void setStatus(const std::string& text) = 0;
    // A progress text: shown at most once per screen refresh, the last one always.
    virtual void setProgressStatus(const std::string& text) = 0;
    virtual void setStatusToolTip(const std::string& text) = 0;
    // The Stop control, shown while an operation runs.
    virtual void showStopControl(bool shown) = 0;
    // The name of the loaded HEX file, held only as the caption of its label.
    virtual std::string loadedFile() const = 0;
    virtual void setLoadedFile(const std::string& name) = 0;
};

} // namespace tessaline
