// The timed status dialog.
#include "os/qt/status_dialog.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace os::qt {

namespace {

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The dialog's 224 by 44 dialog units and its text's 210 by 30 at 7,7, in
// pixels of an 8-point dialog font (1.5 by 1.625 pixels a unit).
constexpr int kWidth = 336;
constexpr int kHeight = 72;
constexpr int kMarginX = 10;
constexpr int kMarginY = 11;

}  // namespace

QDialog* MakeStatusDialog(std::string_view caption, std::string_view text, int milliseconds) {
  auto* dialog = new QDialog(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                                          Qt::WindowCloseButtonHint);
  dialog->setObjectName(QStringLiteral("status_dialog"));
  dialog->setWindowTitle(Text(caption));
  dialog->setModal(false);
  auto* layout = new QVBoxLayout(dialog);
  layout->setContentsMargins(kMarginX, kMarginY, kMarginX, kMarginY);
  auto* label = new QLabel(Text(text));
  label->setObjectName(QStringLiteral("status_text"));
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignCenter);
  label->setWordWrap(true);
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  label->setMargin(4);
  layout->addWidget(label);
  dialog->setMinimumSize(kWidth, kHeight);
  dialog->setMaximumWidth(kWidth);
  dialog->adjustSize();
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->geometry();
    dialog->move(area.x() + area.width() / 2 - 200, area.y() + area.height() / 2 - 80);
  }
  QTimer::singleShot(std::max(milliseconds, 0), dialog, [dialog] { dialog->accept(); });
  return dialog;
}

}  // namespace os::qt
