#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace vexs {

// A plain INI text file (sections in brackets, key=value lines), read and
// written key by key like the platform's profile functions: a write rewrites
// only its own line and keeps every other line byte for byte, its line end
// included, whatever its encoding (files edited on Windows often carry
// Windows-1251 comments and CR LF line ends).
//
// Lines are decoded as UTF-8 where they are valid UTF-8, else as
// Windows-1251. A written line takes the file's line-end style (that of its
// first line end; LF for a new file) and is encoded as UTF-8, or as
// Windows-1251 when the file already holds lines that are not UTF-8.
//
// A file larger than MaxSize or one that is not text (see Problem) is not
// ours to parse: it reads as empty and every write is refused.
class IniFile
{
public:
    enum class Problem {
        None,
        TooLarge, // over MaxSize octets
        NotText,  // a zero octet or a control character other than TAB, LF, VT, FF, CR, SUB
    };
    static constexpr qint64 MaxSize = 1024 * 1024;

    explicit IniFile(QString path);

    const QString &path() const { return m_path; }

    // Of the file as it is now; a missing file has none.
    Problem problem() const;

    // Missing file, section or key gives the default. Keys and sections are
    // matched without regard to case; values are trimmed of surrounding blanks
    // and of one pair of surrounding quotes.
    QString readString(const QString &section, const QString &key,
                       const QString &defaultValue) const;
    // Reads the text and converts it as parseInteger() does.
    int readInteger(const QString &section, const QString &key, int defaultValue) const;

    // Writes one key, creating the file and the section when missing; a file
    // that would not change is not rewritten. Returns false when the file
    // cannot be written, has a Problem, or the text cannot be stored.
    bool writeString(const QString &section, const QString &key, const QString &value);
    bool writeInteger(const QString &section, const QString &key, int value);

    // Keys of one section in file order (empty when the section is missing).
    QStringList keys(const QString &section) const;

    // Whether a text can be a section, key or value: a line break or any
    // other control character would end the line or spoil it for other
    // readers, so such texts are refused rather than altered.
    static bool canStore(const QString &text);

    // The same operations on the contents of a file.
    static Problem problemOf(const QByteArray &contents);
    static QString valueIn(const QByteArray &contents, const QString &section, const QString &key,
                           const QString &defaultValue);
    static QStringList keysIn(const QByteArray &contents, const QString &section);
    // The contents with the key written; nullopt when the contents have a
    // Problem, a text cannot be stored, or the result would pass MaxSize.
    static std::optional<QByteArray> withValue(const QByteArray &contents, const QString &section,
                                               const QString &key, const QString &value);

    // Integer text as stored by hand-edited files: leading blanks, an optional
    // sign, then decimal, or hexadecimal after "0x"/"0X" (with at least one
    // digit), "$", "x" or "X". Anything else, trailing garbage included, or a
    // value outside 32 bits gives the default.
    static int parseInteger(const QString &text, int defaultValue);

private:
    // The contents, or nullopt when the file is missing, unreadable or has a Problem.
    std::optional<QByteArray> load(Problem *problem = nullptr) const;

    QString m_path;
};

} // namespace vexs
