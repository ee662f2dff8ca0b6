#pragma once

// One service page on its own, wired to the simulator's slave and register
// model in process: every request is answered at once, and the frame and the
// wait time it was sent with are recorded. Fast enough for tables of cases;
// the transports themselves are exercised through WindowFixture.

#include "link/link_activity.h"
#include "link/modbus.h"
#include "link/tcp_client.h"
#include "settings/settings_image.h"
#include "ui/page_context.h"
#include "ui/widget_controls.h"
#include "sim/faults.h"
#include "sim/modbus_slave.h"
#include "sim/recorder_model.h"
#include "tests/support/captured_boxes.h"

#include <QWidget>

namespace vexs::test {

class DirectLink : public IExchange, public ILinkSettings
{
public:
    struct Sent
    {
        QByteArray frame;
        int waitMs;
    };

    QByteArray exchange(int waitMs, const QByteArray &request) override
    {
        sent.append({request, waitMs});
        const FaultPlan plan = faults.planFor(request);
        // A gateway that resets the connection: the client raises it.
        if (plan.closeConnection)
            throw ESocketError(QStringLiteral("Connection reset by peer"), 104, QStringLiteral("recv"));
        if (plan.drop)
            return QByteArray();
        return plan.mangle(slave.process(request));
    }
    quint8 slaveAddress() const override { return 1; }
    int interfaceIndex() const override { return iface; }
    int comPortNumber() const override { return 1; }
    int baudIndex() const override { return baud; }

    int iface = 1; // the TCP gateway
    int baud = 4;  // 115200 bit/s

    RecorderModel model;
    ModbusSlave slave{model, 1};
    FaultRules faults;
    QList<Sent> sent;
};

// Counts the long operations begun and not yet ended.
class OpenProgress : public NullShellStatus
{
public:
    void beginProgress(const QString &, int, bool) override { ++open; }
    void endProgress() override { --open; }
    int open = 0;
};

template <typename Page>
class PageHarness
{
public:
    PageHarness()
    {
        root.setObjectName(QStringLiteral("root"));
        page = new Page(ctx, &root);
    }

    DirectLink link;
    ModbusMaster modbus{link, link};
    CapturedBoxes boxes;
    LinkActivity activity;
    SettingsImage image;
    QWidget root;
    WidgetControls controls{&root};
    OpenProgress status;
    PageContext ctx{modbus, boxes, controls, activity, image, link, status};
    Page *page = nullptr;
};

} // namespace vexs::test
