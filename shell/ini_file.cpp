#include "shell/ini_file.h"

#include <QFile>
#include <QSaveFile>
#include <QStringConverter>
#include <QTextStream>

namespace vexs {

namespace {

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
    return trimmed.indexOf(u'=');
}

} // namespace

IniFile::IniFile(QString path) : m_path(std::move(path)) {}

QStringList IniFile::readLines() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    QStringList lines;
    while (!in.atEnd())
        lines.append(in.readLine());
    return lines;
}

QString IniFile::readString(const QString &section, const QString &key,
                            const QString &defaultValue) const
{
    bool inSection = false;
    const QStringList lines = readLines();
    for (const QString &line : lines) {
        const QString trimmed = line.trimmed();
        QString name;
        if (isSectionLine(trimmed, &name)) {
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        const int eq = keySeparator(trimmed);
        if (eq < 0)
            continue;
        if (trimmed.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0) {
            const QString value = trimmed.mid(eq + 1).trimmed();
            // Other programs may quote a value; the quotes are not part of it.
            if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'')
                && value.back() == value.front())
                return value.mid(1, value.size() - 2);
            return value;
        }
    }
    return defaultValue;
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
    QStringList result;
    bool inSection = false;
    for (const QString &line : readLines()) {
        const QString trimmed = line.trimmed();
        QString name;
        if (isSectionLine(trimmed, &name)) {
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        const int eq = keySeparator(trimmed);
        if (inSection && eq > 0)
            result.append(trimmed.left(eq).trimmed());
    }
    return result;
}

bool IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    QStringList lines = readLines();
    const QString entry = key + u'=' + value;
    int sectionStart = -1;
    int insertAt = -1;
    bool inSection = false;
    bool written = false;
    for (int i = 0; i < lines.size() && !written; ++i) {
        const QString trimmed = lines[i].trimmed();
        QString name;
        if (isSectionLine(trimmed, &name)) {
            if (inSection)
                break; // the key was not in our section
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            if (inSection) {
                sectionStart = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        const int eq = keySeparator(trimmed);
        if (eq >= 0) {
            if (trimmed.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0) {
                lines[i] = entry;
                written = true;
            }
        }
        if (!trimmed.isEmpty())
            insertAt = i + 1;
    }
    if (!written) {
        if (sectionStart < 0) {
            if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
                lines.append(QString());
            lines.append(u'[' + section + u']');
            lines.append(entry);
        } else {
            lines.insert(insertAt, entry);
        }
    }

    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QByteArray data;
    for (const QString &line : lines) {
        data += line.toUtf8();
        data += '\n';
    }
    if (file.write(data) != data.size())
        return false;
    return file.commit();
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
