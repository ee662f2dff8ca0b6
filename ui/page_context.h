#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <QList>

#include "ui/write_journal.h"

class QAbstractButton;
class QObject;
class QWidget;

namespace vexs {

class ILinkSettings;
class ModbusMaster;
class IMessageBoxes;
class IControls;
class LinkActivity;
class SettingsImage;
struct BlockLayout;

// Which input modules are installed and which channels are switched on,
// as the bulk read learns it; pages that name channels show it.
struct ChannelPresence
{
    std::array<bool, 4> absent{};        // measurement channel 1..4 has no module
    std::array<bool, 4> measurementOn{}; // switched on in the settings image
    std::array<bool, 4> mathOn{};        // math channel М1..М4 switched on
};

// A page that shows channel names rewrites them here.
class IChannelLabels
{
public:
    virtual ~IChannelLabels() = default;
    virtual void relabelChannels(const ChannelPresence &presence) = 0;
    // A whole settings record came from the device: each record of a
    // complete bulk read, or the one a page's "Считать" read. A page that
    // shows what a channel's settings say (its units) takes them from here.
    virtual void recordRead(const BlockLayout & /*block*/, int /*item*/,
                            const QByteArray & /*record*/)
    {
    }
};

// What the window shows of long operations; the shell implements it.
class IShellStatus
{
public:
    virtual ~IShellStatus() = default;
    // The start page with its info panel in place of the navigation tree,
    // showing `text`; later calls change the text only.
    virtual void showInfo(const QString &text) = 0;
    // The info panel gives way to the navigation tree.
    virtual void showNavigation() = 0;
    // A long operation of `steps` requests; with `cancellable` the user may
    // stop it between requests (reads only).
    virtual void beginProgress(const QString &what, int steps, bool cancellable) = 0;
    // `done` steps complete; false once the user asked to stop.
    virtual bool stepProgress(int done) = 0;
    virtual void endProgress() = 0;
};

// A long operation's progress for as long as the scope lives: begun when it
// is made and ended when it goes, also when an error escapes (a gateway
// that resets the connection). A null status shows nothing.
class ProgressScope
{
public:
    ProgressScope(IShellStatus *status, const QString &what, int steps, bool cancellable)
        : m_status(status)
    {
        if (m_status)
            m_status->beginProgress(what, steps, cancellable);
    }
    ProgressScope(IShellStatus &status, const QString &what, int steps, bool cancellable)
        : ProgressScope(&status, what, steps, cancellable)
    {
    }
    ~ProgressScope()
    {
        if (m_status)
            m_status->endProgress();
    }
    ProgressScope(const ProgressScope &) = delete;
    ProgressScope &operator=(const ProgressScope &) = delete;

    // `done` steps complete; false once the user asked to stop.
    bool operator()(int done) { return !m_status || m_status->stepProgress(done); }

private:
    IShellStatus *m_status;
};

// For contexts without a window (tests of single pages).
class NullShellStatus : public IShellStatus
{
public:
    void showInfo(const QString &) override {}
    void showNavigation() override {}
    void beginProgress(const QString &, int, bool) override {}
    bool stepProgress(int) override { return true; }
    void endProgress() override {}
};

// What every page handler needs: the request operations, the message boxes,
// the window's controls by name, the link's busy state and settings, the
// settings image of the last bulk read, the window's status and the pages
// that name channels.
struct PageContext
{
    ModbusMaster &modbus;
    IMessageBoxes &boxes;
    IControls &controls;
    LinkActivity &activity;
    SettingsImage &image;
    const ILinkSettings &link;
    IShellStatus &status;
    QList<IChannelLabels *> channelLabels = {};
    // Where every write leaves its record; none in tests of single pages.
    IWriteJournal *journal = nullptr;

    void relabelChannels(const ChannelPresence &presence)
    {
        for (IChannelLabels *page : channelLabels)
            page->relabelChannels(presence);
    }
    void recordRead(const BlockLayout &block, int item, const QByteArray &record)
    {
        for (IChannelLabels *page : channelLabels)
            page->recordRead(block, item, record);
    }
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
// The same for a handler that opens a modal dialog (a file to choose): it
// starts after an exchange that is waiting, as a request button does, so
// the dialog never holds that wait open.
void connectDialogAction(QAbstractButton *button, PageContext &context,
                         std::function<void()> handler);
// The same for the window's own dialogs, outside the pages.
void connectDialogAction(QAbstractButton *button, LinkActivity &activity, IMessageBoxes &boxes,
                         std::function<void()> handler);

// Runs `run` at once when the link is free (no exchange waiting, no action
// that sends and no dialog of one running), else as soon as it is; never
// once the window has closed. `owner` carries the wait: while one waits a
// second call adds nothing, and none outlives the owner.
void runWhenLinkFree(QObject *owner, LinkActivity &activity,
                     const std::shared_ptr<std::function<void()>> &run);

void markRequestControl(QWidget *widget);
bool isRequestControl(const QWidget *widget);

// The item number of a handler shared by several buttons: the last character
// of the clicked button's name.
int itemNumberOf(const QWidget *sender);

} // namespace vexs
