#pragma once

#include <array>

#include <QString>

#include "seams.h"

class QWidget;

namespace fernwise {

class Settings;

// The program's five file dialogs.
enum class FileDialogKind { MapOpen, TextOpen, NotesSave, GifSave, TargaSave };

// The setups of the five file dialogs and the remembered palette folder.
// Each dialog keeps the last path chosen in it, so it reopens there; the
// palette dialog starts in the folder remembered from an earlier run.
class FileDialogs {
public:
    // `saveDialogBusy` is the program-wide flag that keeps a second file
    // dialog (or a command that would open one) out while one runs. Without
    // a settings store no palette folder is read or remembered.
    FileDialogs(FileDialogSeam& seam, Settings* settings, bool& saveDialogBusy);

    // Fills every path from the working folder and reads the remembered
    // palette folder from the settings; with none remembered, the palette
    // dialog starts in `paletteFolder` (the palettes that come with the
    // program) when it is given.
    void initFileDialogs(const QString& workingFolder, const QString& paletteFolder = {});

    // Runs one dialog with the busy flag set; true when the user chose a
    // file, whose path and bare name the dialog then keeps.
    bool choose(FileDialogKind kind, QWidget* parent = nullptr);
    bool chooseMapFile(QWidget* parent = nullptr) { return choose(FileDialogKind::MapOpen, parent); }
    bool chooseTextFile(QWidget* parent = nullptr) { return choose(FileDialogKind::TextOpen, parent); }
    bool chooseNotesFile(QWidget* parent = nullptr) { return choose(FileDialogKind::NotesSave, parent); }

    // The request a dialog is run with now.
    FileDialogRequest request(FileDialogKind kind) const;
    // The full path the dialog holds (its last choice, or its start pattern)
    // and the bare file name of the last choice.
    QString path(FileDialogKind kind) const { return setup(kind).path; }
    QString bareName(FileDialogKind kind) const { return setup(kind).bareName; }

    // Called with a chosen palette file before it is read: stores its folder
    // when it differs, without regard to case, from the remembered one, and
    // remembers it only when the store took it.
    void rememberMapFolder(const QString& chosenPath);
    QString rememberedMapFolder() const { return rememberedMapFolder_; }

    bool busy() const { return saveDialogBusy_; }

private:
    struct Setup {
        QString path;
        QString bareName;
    };
    const Setup& setup(FileDialogKind kind) const { return setups_[static_cast<std::size_t>(kind)]; }
    Setup& setup(FileDialogKind kind) { return setups_[static_cast<std::size_t>(kind)]; }

    FileDialogSeam& seam_;
    Settings* settings_;
    bool& saveDialogBusy_;
    std::array<Setup, 5> setups_;
    QString rememberedMapFolder_;
};

// The folder of the palettes that come with the program, found from the
// folder of its executable (the same layout in an installation and in the
// build tree); empty when it is not there.
QString installedPaletteFolder(const QString& programFolder);

}  // namespace fernwise
