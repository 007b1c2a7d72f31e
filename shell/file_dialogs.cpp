#include "file_dialogs.h"

#include <algorithm>

#include <QDir>

#include "settings.h"

namespace fernwise {
namespace {

struct DialogText {
    FileDialogRequest::Mode mode;
    const char* filter;
    const char* title;
    const char* suffix;
};

// In FileDialogKind order.
const std::array<DialogText, 5> dialogTexts{{
    {FileDialogRequest::Mode::Open, "Fractint .map files (*.map)", "Select a Fractint .MAP File", "map"},
    {FileDialogRequest::Mode::Open, "Text files (*.txt)", "Select a text file:", "txt"},
    {FileDialogRequest::Mode::Save, "Text files (*.txt)", "Select a file for saving your notes:", "txt"},
    {FileDialogRequest::Mode::Save, "GIF files (*.gif)", "Select a file for saving your image:", "gif"},
    {FileDialogRequest::Mode::Save, "Targa files (*.tga)", "Select a file for saving your image:", "tga"},
}};

qsizetype lastSeparator(const QString& path) { return std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\')); }

// The folder part of a path with its trailing separator; empty for a bare name.
QString folderOf(const QString& path) { return path.left(lastSeparator(path) + 1); }
QString nameOf(const QString& path) { return path.mid(lastSeparator(path) + 1); }

QString withSeparator(const QString& folder) {
    if (folder.isEmpty() || folder.endsWith(u'/') || folder.endsWith(u'\\')) return folder;
    return folder + u'/';
}

}  // namespace

FileDialogs::FileDialogs(FileDialogSeam& seam, Settings* settings, bool& saveDialogBusy)
    : seam_(seam), settings_(settings), saveDialogBusy_(saveDialogBusy) {}

void FileDialogs::initFileDialogs(const QString& workingFolder, const QString& paletteFolder) {
    const QString folder = withSeparator(workingFolder);
    setup(FileDialogKind::TextOpen).path = folder + "*.txt";
    setup(FileDialogKind::NotesSave).path = folder + "*.txt";
    setup(FileDialogKind::GifSave).path = folder + "*.gif";
    setup(FileDialogKind::TargaSave).path = folder + "*.tga";

    setup(FileDialogKind::MapOpen).path.clear();
    StoredSettings stored;
    if (settings_ != nullptr && settings_->readSetting(SettingName::OldPath, stored) == SettingStatus::Ok &&
        !stored.rememberedMapFolder.isEmpty()) {
        rememberedMapFolder_ = withSeparator(stored.rememberedMapFolder);
        setup(FileDialogKind::MapOpen).path = rememberedMapFolder_ + "*.map";
    } else {
        // Not remembered: choosing one of these palettes stores the folder.
        rememberedMapFolder_.clear();
        if (!paletteFolder.isEmpty()) setup(FileDialogKind::MapOpen).path = withSeparator(paletteFolder) + "*.map";
    }
}

QString installedPaletteFolder(const QString& programFolder) {
    const QDir folder(programFolder + "/" FERNWISE_PALETTES_FROM_PROGRAM);
    return folder.exists() ? folder.absolutePath() : QString();
}

FileDialogRequest FileDialogs::request(FileDialogKind kind) const {
    const DialogText& text = dialogTexts[static_cast<std::size_t>(kind)];
    FileDialogRequest request;
    request.mode = text.mode;
    request.title = text.title;
    request.filters = QStringList{text.filter};
    request.defaultSuffix = text.suffix;
    const QString& path = setup(kind).path;
    request.directory = folderOf(path);
    // A start pattern is no file name to propose; the filter already applies it.
    const QString name = nameOf(path);
    if (!name.contains(u'*') && !name.contains(u'?')) request.fileName = name;
    return request;
}

bool FileDialogs::choose(FileDialogKind kind, QWidget* parent) {
    saveDialogBusy_ = true;
    const QString chosen = seam_.choose(parent, request(kind));
    saveDialogBusy_ = false;
    if (chosen.isEmpty()) return false;
    setup(kind).path = chosen;
    setup(kind).bareName = nameOf(chosen);
    return true;
}

void FileDialogs::rememberMapFolder(const QString& chosenPath) {
    const QString folder = folderOf(chosenPath);
    if (folder.compare(rememberedMapFolder_, Qt::CaseInsensitive) == 0) return;
    StoredSettings values;
    values.rememberedMapFolder = folder;
    if (settings_ != nullptr && settings_->writeSetting(SettingName::OldPath, values) == SettingStatus::Ok) {
        rememberedMapFolder_ = folder;
    }
}

}  // namespace fernwise
