#pragma once

#include "ui/message_boxes.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace vexs::test {

// Records every message box instead of showing it.
class CapturedBoxes : public IMessageBoxes
{
public:
    enum Kind { Error, ErrorNoIcon, Info, Report, Question };
    struct Box
    {
        Kind kind;
        QString text;
    };

    void error(const QString &text) override { add(Error, text); }
    void errorNoIcon(const QString &text) override { add(ErrorNoIcon, text); }
    void info(const QString &text) override { add(Info, text); }
    void report(const QString &text) override { add(Report, text); }
    bool confirm(const QString &text) override
    {
        add(Question, text);
        return answer;
    }
    void shutdown() override { m_shutdown = true; }
    // What confirm() answers.
    bool answer = true;

    QList<Box> boxes;
    // Called as a box "opens"; lets a test act while the box would be up.
    std::function<void(const Box &)> onShow;

    QStringList texts() const;
    // The first line of each: the message without the cause beneath it.
    QStringList firstLines() const;
    QString lastText() const { return boxes.isEmpty() ? QString() : boxes.last().text; }
    Kind lastKind() const { return boxes.last().kind; }
    void clear() { boxes.clear(); }
    bool isShutdown() const { return m_shutdown; }

private:
    void add(Kind kind, const QString &text);
    bool m_shutdown = false;
};

} // namespace vexs::test
