#include "shell/ini_file.h"

#include "settings/encodings.h"
#include "settings/whole_file.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QStringDecoder>

#include <functional>

namespace vexs {

namespace {

const QByteArray kUtf8Mark("\xEF\xBB\xBF");

struct Line
{
    QByteArray bytes; // without the line end
    QByteArray end;   // "\r\n", "\n", "\r", or empty for a last line without one
    QString text;     // decoded, for matching only
};

struct Document
{
    QList<Line> lines;
    QByteArray style = "\n"; // the file's line end
    bool allUtf8 = true;
};

std::optional<QString> fromUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

Document parse(const QByteArray &data)
{
    Document doc;
    bool styleFound = false;
    qsizetype i = 0;
    const qsizetype n = data.size();
    while (i < n) {
        qsizetype j = i;
        while (j < n && data[j] != '\n' && data[j] != '\r')
            ++j;
        Line line;
        line.bytes = data.mid(i, j - i);
        if (j < n)
            line.end = data[j] == '\r' && j + 1 < n && data[j + 1] == '\n' ? QByteArray("\r\n")
                                                                          : data.mid(j, 1);
        i = j + line.end.size();
        const QByteArray content = doc.lines.isEmpty() && line.bytes.startsWith(kUtf8Mark)
                                       ? line.bytes.mid(kUtf8Mark.size())
                                       : line.bytes;
        if (const auto text = fromUtf8(content)) {
            line.text = *text;
        } else {
            line.text = fromCp1251(content);
            doc.allUtf8 = false;
        }
        if (!styleFound && !line.end.isEmpty()) {
            doc.style = line.end;
            styleFound = true;
        }
        doc.lines.append(line);
    }
    return doc;
}

QByteArray encodeLine(const Document &doc, const QString &text)
{
    if (!doc.allUtf8) {
        if (const auto bytes = toCp1251(text))
            return *bytes;
    }
    return text.toUtf8();
}

bool isSectionLine(const QString &trimmed, QString *name)
{
    if (!trimmed.startsWith(u'[') || !trimmed.contains(u']'))
        return false;
    if (name)
        *name = trimmed.mid(1, trimmed.indexOf(u']') - 1).trimmed();
    return true;
}

// Index of the '=' of a key line, or -1 for comments and other lines.
int keySeparator(const QString &trimmed)
{
    if (trimmed.isEmpty() || trimmed.startsWith(u';') || trimmed.startsWith(u'#'))
        return -1;
    return int(trimmed.indexOf(u'='));
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Calls `entry` with the name and the value (both trimmed) of every key line
// of `section` in file order, until it returns true. A file that is not
// ours to parse has no keys.
void forEachKey(const QByteArray &contents, const QString &section,
                const std::function<bool(const QString &, const QString &)> &entry)
{
    if (IniFile::problemOf(contents) != IniFile::Problem::None)
        return;
    bool inSection = false;
    for (const Line &line : parse(contents).lines) {
        const QString trimmed = line.text.trimmed();
        QString name;
        if (isSectionLine(trimmed, &name)) {
            inSection = sameName(name, section);
            continue;
        }
        const int eq = keySeparator(trimmed);
        if (inSection && eq >= 0 && entry(trimmed.left(eq).trimmed(), trimmed.mid(eq + 1).trimmed()))
            return;
    }
}

} // namespace

IniFile::IniFile(QString path) : m_path(std::move(path)) {}

bool IniFile::canStore(const QString &text)
{
    for (const QChar c : text) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph)
            return false;
    }
    return true;
}

IniFile::Problem IniFile::problemOf(const QByteArray &contents)
{
    if (contents.size() > MaxSize)
        return Problem::TooLarge;
    for (const char c : contents) {
        const uchar u = uchar(c);
        if (u < 0x20 && u != '\t' && u != '\n' && u != '\v' && u != '\f' && u != '\r' && u != 0x1A)
            return Problem::NotText;
    }
    return Problem::None;
}

std::optional<QByteArray> IniFile::load(Problem *problem) const
{
    if (problem)
        *problem = Problem::None;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Read one octet past the limit rather than all of a huge file.
    const QByteArray contents = file.read(MaxSize + 1);
    const Problem found = problemOf(contents);
    if (problem)
        *problem = found;
    if (found != Problem::None)
        return std::nullopt;
    return contents;
}

IniFile::Problem IniFile::problem() const
{
    Problem found = Problem::None;
    load(&found);
    return found;
}

QString IniFile::valueIn(const QByteArray &contents, const QString &section, const QString &key,
                         const QString &defaultValue)
{
    QString value = defaultValue;
    forEachKey(contents, section, [&](const QString &name, const QString &text) {
        if (!sameName(name, key))
            return false;
        // Other programs may quote a value; the quotes are not part of it.
        const bool quoted = text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'')
                            && text.back() == text.front();
        value = quoted ? text.mid(1, text.size() - 2) : text;
        return true;
    });
    return value;
}

QStringList IniFile::keysIn(const QByteArray &contents, const QString &section)
{
    QStringList result;
    forEachKey(contents, section, [&](const QString &name, const QString &) {
        if (!name.isEmpty())
            result.append(name);
        return false;
    });
    return result;
}

std::optional<QByteArray> IniFile::withValue(const QByteArray &contents, const QString &section,
                                             const QString &key, const QString &value)
{
    if (problemOf(contents) != Problem::None || !canStore(section) || !canStore(key)
        || !canStore(value) || section.contains(u']') || key.contains(u'='))
        return std::nullopt;
    Document doc = parse(contents);
    QList<Line> &lines = doc.lines;
    const QByteArray entry = encodeLine(doc, key + u'=' + value);
    int sectionStart = -1;
    int insertAt = -1;
    bool inSection = false;
    bool written = false;
    for (int i = 0; i < lines.size() && !written; ++i) {
        const QString trimmed = lines[i].text.trimmed();
        QString name;
        if (isSectionLine(trimmed, &name)) {
            if (inSection)
                break; // the key was not in our section
            inSection = sameName(name, section);
            if (inSection) {
                sectionStart = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        const int eq = keySeparator(trimmed);
        if (eq >= 0 && sameName(trimmed.left(eq).trimmed(), key)) {
            lines[i].bytes = entry; // its line end stays
            written = true;
        }
        if (!trimmed.isEmpty())
            insertAt = i + 1;
    }
    if (!written) {
        // Whatever comes after a last line without a line end needs one.
        auto endLastLine = [&](int before) {
            if (before > 0 && lines[before - 1].end.isEmpty())
                lines[before - 1].end = doc.style;
        };
        if (sectionStart < 0) {
            endLastLine(int(lines.size()));
            if (!lines.isEmpty() && !lines.last().text.trimmed().isEmpty())
                lines.append({QByteArray(), doc.style, QString()});
            lines.append({encodeLine(doc, u'[' + section + u']'), doc.style, QString()});
            lines.append({entry, doc.style, QString()});
        } else {
            endLastLine(insertAt);
            lines.insert(insertAt, {entry, doc.style, QString()});
        }
    }
    QByteArray out;
    out.reserve(contents.size() + entry.size() + section.size() + 8);
    for (const Line &line : std::as_const(lines)) {
        out += line.bytes;
        out += line.end;
    }
    // A file pushed past the limit would be disowned at the next start, its
    // settings read as defaults.
    if (out.size() > MaxSize)
        return std::nullopt;
    return out;
}

QString IniFile::readString(const QString &section, const QString &key,
                            const QString &defaultValue) const
{
    const auto contents = load();
    return contents ? valueIn(*contents, section, key, defaultValue) : defaultValue;
}

int IniFile::readInteger(const QString &section, const QString &key, int defaultValue) const
{
    const QString text = readString(section, key, QString());
    if (text.isEmpty())
        return defaultValue;
    return parseInteger(text, defaultValue);
}

QStringList IniFile::keys(const QString &section) const
{
    const auto contents = load();
    return contents ? keysIn(*contents, section) : QStringList();
}

bool IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    Problem problem = Problem::None;
    const std::optional<QByteArray> loaded = load(&problem);
    // A file that is there but cannot be read must not be replaced by our keys alone.
    if (problem != Problem::None || (!loaded && QFileInfo::exists(m_path)))
        return false;
    const QByteArray contents = loaded.value_or(QByteArray());
    const auto updated = withValue(contents, section, key, value);
    if (!updated)
        return false;
    if (loaded && *updated == *loaded)
        return true;
    // Not opened as text: the line ends are the file's own, on every platform.
    return saveWholeFile(m_path, *updated);
}

bool IniFile::writeInteger(const QString &section, const QString &key, int value)
{
    return writeString(section, key, QString::number(value));
}

int IniFile::parseInteger(const QString &text, int defaultValue)
{
    int i = 0;
    const int n = int(text.size());
    while (i < n && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    } else if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        base = 16;
        i += 1;
    }
    if (i >= n)
        return defaultValue;
    qint64 value = 0;
    for (; i < n; ++i) {
        const int digit = QChar(text[i]).isDigit() && text[i].unicode() < 128
                              ? text[i].unicode() - '0'
                              : (base == 16 && text[i].toLower() >= u'a' && text[i].toLower() <= u'f'
                                     ? text[i].toLower().unicode() - 'a' + 10
                                     : -1);
        if (digit < 0 || digit >= base)
            return defaultValue;
        value = value * base + digit;
        if (value > (qint64(1) << 32))
            return defaultValue;
    }
    if (negative)
        value = -value;
    // Hexadecimal texts may name the full 32-bit pattern ($FFFFFFFF is -1).
    if (base == 16 && !negative && value > 0x7FFFFFFF && value <= 0xFFFFFFFF)
        value -= (qint64(1) << 32);
    if (value < INT_MIN || value > INT_MAX)
        return defaultValue;
    return int(value);
}

} // namespace vexs
