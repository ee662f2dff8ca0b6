// The login from the account database: the environment may carry another
// user's name (a shell under su keeps USER), the account the program runs
// as may not. Other platforms: journal_store.cpp.
#include <QtGlobal>

#ifdef Q_OS_UNIX

#include "settings/journal_store.h"

#include <pwd.h>
#include <unistd.h>

namespace vexs {

QString currentLogin()
{
    if (const passwd *account = ::getpwuid(::getuid()); account && account->pw_name && *account->pw_name)
        return QString::fromLocal8Bit(account->pw_name);
    for (const char *name : {"USER", "LOGNAME"}) {
        const QString login = qEnvironmentVariable(name);
        if (!login.isEmpty())
            return login;
    }
    return QStringLiteral("неизвестен");
}

} // namespace vexs

#endif
