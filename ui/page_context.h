#pragma once

#include <functional>

class QAbstractButton;
class QWidget;

namespace vexs {

class ModbusMaster;
class IMessageBoxes;
class IControls;
class LinkActivity;
class SettingsImage;

// What every page handler needs: the request operations, the message boxes,
// the window's controls by name, the link's busy state and the settings image
// of the last bulk read.
struct PageContext
{
    ModbusMaster &modbus;
    IMessageBoxes &boxes;
    IControls &controls;
    LinkActivity &activity;
    SettingsImage &image;
};

// Runs a handler; an error that escapes it (a socket failure, a conversion
// error) is shown as the toolkit's default error report and the program goes on.
void runGuarded(IMessageBoxes &boxes, const std::function<void()> &handler);

// Connects a button whose handler sends requests: the button is marked as a
// request control (disabled while the link is busy), the link counts as busy
// for the whole handler, and escaping errors are reported.
void connectRequest(QAbstractButton *button, PageContext &context,
                    std::function<void()> handler);

// Connects a button whose handler sends nothing; escaping errors are reported.
void connectAction(QAbstractButton *button, IMessageBoxes &boxes, std::function<void()> handler);

void markRequestControl(QWidget *widget);
bool isRequestControl(const QWidget *widget);

// The item number of a handler shared by several buttons: the last character
// of the clicked button's name.
int itemNumberOf(const QWidget *sender);

} // namespace vexs
