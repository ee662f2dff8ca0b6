#pragma once

#include "settings/pages_origin.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace vexs {

struct BlockLayout;

// Byte-for-byte copy of holding registers 0..771 (image byte k is in
// register k div 2). All zeros until the first complete bulk read; only a
// bulk read replaces it, and only as a whole.
class SettingsImage
{
public:
    static constexpr int Size = 1544;

    SettingsImage();

    const QByteArray &bytes() const { return m_bytes; }

    // The record of item `item` (from 1) of a block; std::invalid_argument
    // for an item outside the block.
    QByteArray record(const BlockLayout &block, int item) const;

    // Commits a complete bulk read from the recorder `source` names (see
    // recorderOf); std::invalid_argument unless exactly Size bytes are given
    // (the image is then left as it was).
    void replaceAll(const QByteArray &area, const QString &source = QString());

    // True once a bulk read has been committed: before that the image is
    // zeros, not the device's values.
    bool isLoaded() const { return m_loaded; }
    // A page write the device acknowledged: the journal's "before" of the
    // next write of that group is what was written, not the bulk read's.
    // The bytes() a page encodes over stay the bulk read's.
    void noteWritten(int offset, const QByteArray &bytes);
    // The bulk read with every acknowledged page write since laid over it.
    const QByteArray &known() const { return m_known; }
    // True when the image holds the values of the recorder `recorder` names.
    bool isOf(const QString &recorder) const { return m_loaded && m_source == recorder; }
    // The link may reach another recorder under the same name now (a new
    // gateway connection, another device mapped to the port number).
    void forgetSource() { m_source.clear(); }

    // Which recorder, or file, the pages show; `originChanged` is told.
    const PagesOrigin &pagesOrigin() const { return m_origin; }
    void setPagesOrigin(const PagesOrigin &origin)
    {
        m_origin = origin;
        if (originChanged)
            originChanged();
    }
    std::function<void()> originChanged;

private:
    PagesOrigin m_origin;
    QByteArray m_bytes;
    QByteArray m_known;
    QString m_source;
    bool m_loaded = false;
};

} // namespace vexs
