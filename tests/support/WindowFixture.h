#pragma once
// A main window on a test back end and a settings file in a temporary
// folder, with every message box captured instead of shown.

#include "app/ErrorHandler.h"
#include "common/SettingsFile.h"
#include "app/UMain.h"
#include "app/UnsavedTake.h"
#include "common/Language.h"
#include "midi_out/MidiErrors.h"
#include "support/EventLoop.h"
#include "support/HangBound.h"
#include "support/TestBackend.h"
#include "support/WindowProbe.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

// The window speaks a shipped language (its catalogue from the build) until
// it is set back to the source language.
inline bool UseShippedLanguage(const char *code)
{
    return common::InstallLanguage(QString::fromLatin1(code),
                                   {QStringLiteral(SONORET_BINARY_DIR "/src/app/translations")});
}
inline void UseSourceLanguage() { common::InstallLanguage(QString::fromLatin1(common::SourceLanguage), {}); }

// A short message as the back end sees it.
constexpr std::uint32_t Packed(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    return status | (std::uint32_t(data1) << 8) | (std::uint32_t(data2) << 16);
}

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        iniPath = dir.filePath(QStringLiteral("midi-sonoret.ini")).toStdString();
        app::ErrorHandler::SetPresenter(
            [this](const app::ErrorHandler::Message &message) { messages.push_back(message); });
        // An unsaved take is given up unless a test answers otherwise.
        app::SetUnsavedTakeAnswerer([this] {
            ++takeQuestions;
            return takeAnswer;
        });
    }

    void TearDown() override
    {
        form.reset();
        app::ErrorHandler::ResetPresenter();
        app::SetUnsavedTakeAnswerer({});
        // Every handler catches its own errors: none may reach notify().
        EXPECT_EQ(app::SonoretApplication::UnguardedExceptionCount(), unguardedBefore);
    }

    void WriteIni(const QByteArray &text)
    {
        QFile file(QString::fromStdString(iniPath));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    // Settings reach the file on a thread of their own: waits until they
    // are there, and lets a refused write reach the error handler.
    void SettleSettings()
    {
        if (form) {
            EXPECT_TRUE(Probe(*form).Settings().Flush(std::chrono::minutes(1)));
        }
        QCoreApplication::processEvents();
    }

    // Recordings are written on a thread of their own: runs the event loop
    // until every save's result is back on the window's thread.
    void SettleSaves()
    {
        const auto bound = std::chrono::duration_cast<std::chrono::milliseconds>(kHangBound);
        ProcessEventsUntil([this] { return Probe(*form).Saves().UnderWay() == 0; }, static_cast<int>(bound.count()));
        EXPECT_EQ(Probe(*form).Saves().UnderWay(), 0) << "a save did not end";
    }

    int StoredInt(const char *section, const char *key)
    {
        SettleSettings();
        return common::SettingsFile(iniPath).ReadInteger(section, key, -999);
    }

    std::string StoredText(const char *section, const char *key)
    {
        SettleSettings();
        return common::SettingsFile(iniPath).ReadString(section, key, "<none>");
    }

    QByteArray IniText()
    {
        SettleSettings();
        QFile file(QString::fromStdString(iniPath));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return file.readAll();
    }

    // The back end is handed to the window; `backend` stays valid while the
    // window lives. `prepare` may set failures before start-up runs;
    // `arguments` is the command line. `deviceStart` as the program: FromEventLoop.
    app::TForm1 &Create(std::vector<std::string> devices = {"Synth A", "Port B", "Port C"},
                        const std::function<void(midi_out::TestBackend &)> &prepare = {},
                        std::vector<std::string> arguments = {},
                        app::TForm1::DeviceStart deviceStart = app::TForm1::DeviceStart::Now)
    {
        auto owned = std::make_unique<midi_out::TestBackend>(std::move(devices));
        backend = owned.get();
        if (prepare)
            prepare(*backend);
        form = std::make_unique<app::TForm1>(std::move(owned), iniPath, std::move(arguments), nullptr, deviceStart);
        return *form;
    }

    std::vector<std::uint32_t> Sent() const { return backend->SentShortMessages(); }

    // A control of the window, found by its object name.
    template <class T>
    T *Control(const char *name) const
    {
        T *control = form->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    QTemporaryDir dir;
    int unguardedBefore = app::SonoretApplication::UnguardedExceptionCount();
    std::string iniPath;
    midi_out::TestBackend *backend = nullptr;
    std::unique_ptr<app::TForm1> form;
    std::vector<app::ErrorHandler::Message> messages;
    app::UnsavedTakeAnswer takeAnswer = app::UnsavedTakeAnswer::Discard;
    int takeQuestions = 0;
};

} // namespace testing_support
