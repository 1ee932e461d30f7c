#include "common/Language.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringDecoder>
#include <QTranslator>

#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace common {

namespace {

// The exception texts of the code outside Qt, with %1 for their variable part.
constexpr std::array MessagePatterns{
    QT_TRANSLATE_NOOP("Messages", "Stream-Lesefehler"),
    QT_TRANSLATE_NOOP("Messages", "Stream-Schreibfehler"),
    QT_TRANSLATE_NOOP("Messages", "Ungültige Stream-Position"),
    QT_TRANSLATE_NOOP("Messages", "Datei %1 kann nicht erstellt werden"),
    QT_TRANSLATE_NOOP("Messages", "Datei %1 kann nicht geöffnet werden"),
    QT_TRANSLATE_NOOP("Messages", "Datei %1 ist keine gültige Aufnahme."),
    QT_TRANSLATE_NOOP("Messages", "Datei %1 ist keine gültige MIDI-Datei."),
    QT_TRANSLATE_NOOP("Messages", "Datei %1 ist eine MIDI-Datei im Format 2, die nicht geöffnet werden kann."),
    QT_TRANSLATE_NOOP("Messages", "Datei %1 endet mitten in einer Spur; gelesen wurde bis dorthin."),
    QT_TRANSLATE_NOOP("Messages", "Das Dateiformat %1 wird nicht unterstützt."),
    QT_TRANSLATE_NOOP("Messages", "'%1' ist kein gültiger Integerwert"),
    QT_TRANSLATE_NOOP("Messages", "Ungültige Gleitkommaoperation"),
    QT_TRANSLATE_NOOP("Messages", "In %1 kann nicht geschrieben werden"),
    QT_TRANSLATE_NOOP("Messages", "Ungültiger Eintrag für die Einstellungsdatei: %1"),
    QT_TRANSLATE_NOOP("Messages", "Das Benachrichtigungsfenster des MIDI-Geräts kann nicht erstellt werden"),
    QT_TRANSLATE_NOOP("Messages", "Nicht genügend Arbeitsspeicher vorhanden"),
    QT_TRANSLATE_NOOP("Messages", "Für den eingebauten Synthesizer ist keine SoundFont installiert."),
};

// The exception texts with a count: the German the code outside Qt writes
// for one and for more (%1 the count), and the text whose plural forms the
// catalogues hold.
struct CountedPattern {
    const char *one;
    const char *many;
    const char *counted;
};
constexpr std::array CountedPatterns{
    CountedPattern{"1 System-Exclusive-Meldung wurde übergangen.", "%1 System-Exclusive-Meldungen wurden übergangen.",
                   QT_TRANSLATE_N_NOOP("Messages", "%n System-Exclusive-Meldungen wurden übergangen.")},
};

// The device layer's texts with a variable part, English, %1 for it.
constexpr std::array DevicePatterns{
    "MIDI output Device %1 not installed",
    "MIDI input buffer full: %1 messages dropped",
};

// Device texts that the window tells in its own words, so that they reach the
// user in the window's language whatever catalogues the device layer has.
struct WindowWording {
    const char *device;
    const char *german;
};
constexpr std::array WindowWordings{
    WindowWording{"The built-in synthesizer found no audio output",
                  QT_TRANSLATE_NOOP("Messages", "Der eingebaute Synthesizer hat keine Audioausgabe gefunden")},
};

// What `text` has in place of the %1 of `pattern`, when it is that pattern.
std::optional<QString> VariablePart(const QString &text, const char *pattern)
{
    const QString source = QString::fromUtf8(pattern);
    const qsizetype at = source.indexOf(QStringLiteral("%1"));
    if (at < 0)
        return text == source ? std::optional(QString()) : std::nullopt;
    const QString before = source.left(at);
    const QString after = source.mid(at + 2);
    if (text.size() >= before.size() + after.size() && text.startsWith(before) && text.endsWith(after))
        return text.mid(before.size(), text.size() - before.size() - after.size());
    return std::nullopt;
}

// `text` in `context`'s language when it is `pattern` with its %1 filled in.
std::optional<QString> MatchPattern(const QString &text, const char *context, const char *pattern)
{
    const auto part = VariablePart(text, pattern);
    if (!part)
        return std::nullopt;
    const QString translated = QCoreApplication::translate(context, pattern);
    return translated.contains(QStringLiteral("%1")) ? translated.arg(*part) : translated;
}

// The count of `text` when it is one of `pattern`'s German forms.
std::optional<int> CountOf(const QString &text, const CountedPattern &pattern)
{
    if (text == QString::fromUtf8(pattern.one))
        return 1;
    bool number = false;
    const auto part = VariablePart(text, pattern.many);
    const int count = part ? part->toInt(&number) : 0;
    return number ? std::optional(count) : std::nullopt;
}

struct Installed {
    QLocale::Language language = QLocale::German;
    std::vector<std::unique_ptr<QTranslator>> translators;
};

Installed &installed()
{
    static Installed instance;
    return instance;
}

bool IsGerman(const QLocale &locale) { return locale.language() == QLocale::German; }

bool HasCatalogue(const QString &language, const QStringList &folders)
{
    QTranslator probe;
    for (const QString &folder : folders)
        if (probe.load(QLocale(language), QString::fromLatin1(CatalogueName), QStringLiteral("_"), folder))
            return true;
    return false;
}

// The text as UTF-8, but for the bytes of a file name in another coding
// (Latin-1 from older disks), which read as Latin-1, as the file dialog
// shows such names.
QString DecodeText(const std::string &bytes)
{
    QString text;
    for (std::size_t at = 0; at < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
        if (length > 0 && at + length <= bytes.size()) {
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString character = utf8(QByteArrayView(bytes.data() + at, static_cast<qsizetype>(length)));
            if (!utf8.hasError()) {
                text += character;
                at += length;
                continue;
            }
        }
        text += QChar(lead);
        ++at;
    }
    return text;
}

} // namespace

QStringList CatalogueFolders(const QString &executableDir)
{
    const QDir dir(executableDir);
    return {QDir::cleanPath(dir.filePath(QStringLiteral("translations"))),
            QDir::cleanPath(dir.filePath(QStringLiteral("../share/midi-sonoret/translations"))),
            // The converter in the build tree, one folder beside the program's.
            QDir::cleanPath(dir.filePath(QStringLiteral("../app/translations")))};
}

QString ChooseLanguage(const QStringList &folders)
{
    const QString wanted = qEnvironmentVariable(LanguageVariable).trimmed();
    if (!wanted.isEmpty())
        return wanted;
    const QStringList languages = QLocale::system().uiLanguages();
    for (const QString &name : languages) {
        const QLocale locale(name);
        if (locale.language() == QLocale::C || IsGerman(locale))
            return QString::fromLatin1(SourceLanguage);
        if (HasCatalogue(name, folders))
            return name;
    }
    return languages.isEmpty() ? QString::fromLatin1(SourceLanguage) : QString::fromLatin1(FallbackLanguage);
}

bool InstallLanguage(const QString &language, const QStringList &folders)
{
    auto &state = installed();
    for (const auto &translator : state.translators)
        QCoreApplication::removeTranslator(translator.get());
    state.translators.clear();
    const QLocale locale(language);
    state.language = locale.language();
    const auto add = [&](const QString &name, const QString &folder) {
        auto translator = std::make_unique<QTranslator>();
        if (!translator->load(locale, name, QStringLiteral("_"), folder))
            return false;
        QCoreApplication::installTranslator(translator.get());
        state.translators.push_back(std::move(translator));
        return true;
    };
    // Qt speaks English by itself; for German it needs its catalogue too,
    // and so do the device layer's texts.
    if (locale.language() != QLocale::English) {
        add(QStringLiteral("qt"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
        for (const QString &folder : folders)
            if (add(QString::fromLatin1(DeviceCatalogueName), folder))
                break;
    }
    if (IsGerman(locale))
        return true;
    for (const QString &folder : folders)
        if (add(QString::fromLatin1(CatalogueName), folder))
            return true;
    return false;
}

QLocale::Language CurrentLanguage() { return installed().language; }

void InstallChosenLanguage()
{
    const QStringList folders = CatalogueFolders(QCoreApplication::applicationDirPath());
    const QString language = ChooseLanguage(folders);
    // A language asked for without a catalogue falls back to English.
    if (!InstallLanguage(language, folders))
        InstallLanguage(QString::fromLatin1(FallbackLanguage), folders);
}

QString TranslatedMessage(const std::string &german)
{
    const QString text = DecodeText(german);
    for (const CountedPattern &pattern : CountedPatterns) {
        const auto count = CountOf(text, pattern);
        if (!count)
            continue;
        // The code writes German's forms itself; German has no catalogue.
        if (CurrentLanguage() == QLocale::German)
            return text;
        return QCoreApplication::translate("Messages", pattern.counted, nullptr, *count);
    }
    for (const char *pattern : MessagePatterns)
        if (const auto translated = MatchPattern(text, "Messages", pattern))
            return *translated;
    for (const auto &wording : WindowWordings)
        if (german == wording.device)
            return QCoreApplication::translate("Messages", wording.german);
    for (const char *pattern : DevicePatterns)
        if (const auto translated = MatchPattern(text, DeviceContext, pattern))
            return *translated;
    return QCoreApplication::translate(DeviceContext, german.c_str());
}

} // namespace common
