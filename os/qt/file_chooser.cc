// File choosers.
#include "os/qt/file_chooser.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QStringList>
#include <QTreeView>

namespace os::qt {

namespace {

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QFileDialog* MakeFileChooser(bool save, std::string_view title, std::string_view filter,
                             const std::vector<std::string>& proposals, const std::string& start) {
  auto* chooser = new QFileDialog;
  chooser->setObjectName(QStringLiteral("file_chooser"));
  chooser->setOption(QFileDialog::DontUseNativeDialog);
  chooser->setWindowTitle(Text(title));
  chooser->setWindowFlag(Qt::WindowStaysOnTopHint);
  chooser->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  chooser->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  QStringList filters;
  if (!filter.empty()) filters << Text(filter);
  filters << QStringLiteral("All files (*)");
  chooser->setNameFilters(filters);
  QStringList history;
  for (const std::string& proposal : proposals) {
    QString folder = QFileInfo(Text(proposal)).absolutePath();
    if (!history.contains(folder)) history << folder;
  }
  if (!history.isEmpty()) chooser->setHistory(history);
  std::string first = !start.empty() ? start : (proposals.empty() ? "" : proposals.front());
  if (!first.empty()) {
    QFileInfo info(Text(first));
    if (info.isDir()) {
      chooser->setDirectory(info.absoluteFilePath());
    } else {
      if (QDir(info.absolutePath()).exists()) chooser->setDirectory(info.absolutePath());
      chooser->selectFile(info.fileName());
    }
  }
  chooser->resize(860, 500);
  // The details list shows whole sizes and dates, the name taking the rest.
  if (auto* details = chooser->findChild<QTreeView*>(QStringLiteral("treeView"))) {
    QHeaderView* header = details->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->resizeSection(1, 90);
    header->resizeSection(2, 120);
    header->resizeSection(3, 170);
  }
  return chooser;
}

}  // namespace os::qt
