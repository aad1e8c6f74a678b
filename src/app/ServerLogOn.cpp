#include "ServerLogOn.h"

#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/dialogs/LogOnDialog.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/settings/DatabaseSetting.h"
#include "platform/settings/PasswordFile.h"

#include <QString>

#include <cstring>

namespace {

constexpr const char* kServerPrefix = "server:";

// Opens and closes at once: whether the server takes this account.
void tryAccount(const DatabaseSetting& setting, const QString& user, const QString& password) {
    engine::Database::openServer(setting.openName.mid(int(strlen(kServerPrefix))).toStdString(),
                                 user.toStdString(), password.toStdString(), true);
}

bool refusedAccount(const engine::EngineError& e) {
    return e.number() == engine::err::BadAccount;
}

} // namespace

void ServerLogOn::logOn(const DatabaseSetting& setting, QWidget* parent) {
    auto& engine = engine::DBEngine::instance();
    // The program's own account never goes to a server, not even for a
    // command tried after a cancelled log-on.
    engine.DefaultUser.clear();
    engine.DefaultPassword.clear();
    QString user = setting.user, problem;
    // The settings' account first, with the password libpq's own file keeps
    // for it (or none, where the server asks for none).
    if (!user.isEmpty()) {
        try {
            tryAccount(setting, user, {});
            engine.DefaultUser = user.toStdString();
            engine.DefaultPassword.clear();
            return;
        } catch (const engine::EngineError& e) {
            if (!refusedAccount(e))
                throw;
            // A password not given is no fault of the user's: just asked.
            if (!QString::fromStdString(e.what()).contains("no password supplied"))
                problem = QString::fromStdString(e.what());
        }
    } else {
        user = qEnvironmentVariable("USER");
    }
    const QString where = setting.host + ":" + setting.port + "/" + setting.database;
    for (;;) {
        const auto answer = LogOnDialog::ask({where, user, problem}, parent);
        if (!answer)
            throw engine::EngineError(engine::err::BadAccount,
                                      "Not logged on: the collection on the server '" +
                                          where.toStdString() +
                                          "' is opened with an account of the server's own.");
        try {
            tryAccount(setting, answer->user, answer->password);
        } catch (const engine::EngineError& e) {
            if (!refusedAccount(e))
                throw;
            user = answer->user;
            problem = QString::fromStdString(e.what());
            continue;
        }
        engine.DefaultUser = answer->user.toStdString();
        engine.DefaultPassword = answer->password.toStdString();
        if (answer->remember) {
            const QString why = PasswordFile::remember(setting.host, setting.port, setting.database,
                                                       answer->user, answer->password);
            if (!why.isEmpty())
                MessageBox::Show(why + "\n\nThe password is used for this session only.", 48,
                                 "Log On");
        }
        return;
    }
}
