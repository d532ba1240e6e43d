#pragma once

#include "passwordstore.h"

// Where the window keeps the sync's password between sessions: the system's keychain, or in
// tests a map. Each call answers once through done, unless context is destroyed first.
class PasswordKeeper
{
public:
    virtual ~PasswordKeeper() = default;
    // Whether passwords outlast the program: false where no keychain runs.
    virtual bool runs() const = 0;
    virtual void read(const QString &key, QObject *context, std::function<void(const passwordstore::Result &)> done) = 0;
    virtual void write(const QString &key, const QString &password, QObject *context,
                       std::function<void(const passwordstore::Result &)> done) = 0;
};

class KeychainPasswords final : public PasswordKeeper
{
public:
    bool runs() const override { return passwordstore::hasKeychain(); }
    void read(const QString &key, QObject *context, std::function<void(const passwordstore::Result &)> done) override
    {
        passwordstore::read(key, context, std::move(done));
    }
    void write(const QString &key, const QString &password, QObject *context,
               std::function<void(const passwordstore::Result &)> done) override
    {
        passwordstore::write(key, password, context, std::move(done));
    }
};
