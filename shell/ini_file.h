#pragma once

#include <QString>
#include <QStringList>

namespace vexs {

// A plain INI text file (sections in brackets, key=value lines), read and
// written key by key like the platform's profile functions: a write rewrites
// only its own line and keeps every other section, key and comment intact.
class IniFile
{
public:
    explicit IniFile(QString path);

    const QString &path() const { return m_path; }

    // Missing file, section or key gives the default. Keys and sections are
    // matched without regard to case; values are trimmed of surrounding blanks
    // and of one pair of surrounding quotes.
    QString readString(const QString &section, const QString &key,
                       const QString &defaultValue) const;
    // Reads the text and converts it as parseInteger() does.
    int readInteger(const QString &section, const QString &key, int defaultValue) const;

    // Writes one key, creating the file and the section when missing.
    // Returns false when the file cannot be written.
    bool writeString(const QString &section, const QString &key, const QString &value);
    bool writeInteger(const QString &section, const QString &key, int value);

    // Keys of one section in file order (empty when the section is missing).
    QStringList keys(const QString &section) const;

    // Integer text as stored by hand-edited files: leading blanks, an optional
    // sign, then decimal, or hexadecimal after "0x"/"0X" (with at least one
    // digit), "$", "x" or "X". Anything else, trailing garbage included, or a
    // value outside 32 bits gives the default.
    static int parseInteger(const QString &text, int defaultValue);

private:
    QStringList readLines() const;

    QString m_path;
};

} // namespace vexs
