// The real file dialogs list a folder without reading its files: a /proc
// file, a device or a FIFO can keep whoever reads it waiting for good.

#include <sys/stat.h>

#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMimeDatabase>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include "seams.h"

namespace fernwise {
namespace {

TEST(FileDialogSeam, ListsAFolderWithoutReadingItsFiles) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // Opening a FIFO for reading waits for a writer.
    ASSERT_EQ(mkfifo(QFile::encodeName(folder.filePath("pipe")).constData(), 0600), 0);
    // Nothing in this name says what the file is; only its bytes say PNG.
    QFile picture(folder.filePath("picture"));
    ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
    picture.write(QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    picture.close();

    QString pictureType;
    int looks = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        const auto* model = dialog->findChild<QFileSystemModel*>();
        if (model != nullptr) pictureType = model->index(folder.filePath("picture"), 2).data().toString();
        if (!pictureType.isEmpty() || ++looks > 500) dialog->reject();
    });
    probe.start(10);
    FileDialogRequest request;
    request.title = "Select a file:";
    request.filters = QStringList{"All files (*)"};
    request.directory = folder.path();
    EXPECT_TRUE(qtFileDialogSeam().choose(nullptr, request).isEmpty());

    EXPECT_FALSE(pictureType.isEmpty());
    EXPECT_NE(pictureType, QMimeDatabase().mimeTypeForName("image/png").comment());
}

}  // namespace
}  // namespace fernwise
