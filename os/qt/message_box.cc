// Message boxes and questions.
#include "os/qt/message_box.h"

#include <QAbstractButton>
#include <QString>

namespace os::qt {

namespace {

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QMessageBox::Icon BoxIcon(Icon icon) {
  switch (icon) {
    case Icon::kInformation:
      return QMessageBox::Information;
    case Icon::kExclamation:
      return QMessageBox::Warning;
    case Icon::kQuestion:
      return QMessageBox::Question;
    case Icon::kError:
      return QMessageBox::Critical;
    case Icon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

Answer SafeAnswer(Buttons buttons) {
  switch (buttons) {
    case Buttons::kYesNo:
      return Answer::kNo;
    case Buttons::kOkCancel:
      return Answer::kCancel;
    case Buttons::kOk:
      break;
  }
  return Answer::kOk;
}

QMessageBox* MakeMessageBox(std::string_view text, std::string_view title, Icon icon,
                            Buttons buttons) {
  auto* box = new QMessageBox;
  box->setObjectName(QStringLiteral("message_box"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowTitle(Text(title));
  box->setText(Text(text));
  box->setTextFormat(Qt::PlainText);
  box->setIcon(BoxIcon(icon));
  // Brought to the foreground: the program's window sits minimised.
  box->setWindowFlag(Qt::WindowStaysOnTopHint);
  switch (buttons) {
    case Buttons::kOk:
      box->setStandardButtons(QMessageBox::Ok);
      box->setEscapeButton(QMessageBox::Ok);
      break;
    case Buttons::kYesNo:
      box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box->setDefaultButton(QMessageBox::Yes);
      box->setEscapeButton(QMessageBox::No);
      break;
    case Buttons::kOkCancel:
      box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box->setDefaultButton(QMessageBox::Ok);
      box->setEscapeButton(QMessageBox::Cancel);
      break;
  }
  return box;
}

Answer BoxAnswer(const QMessageBox& box, Buttons buttons) {
  QAbstractButton* clicked = box.clickedButton();
  if (clicked == nullptr) return SafeAnswer(buttons);
  switch (box.standardButton(clicked)) {
    case QMessageBox::Yes:
      return Answer::kYes;
    case QMessageBox::No:
      return Answer::kNo;
    case QMessageBox::Ok:
      return Answer::kOk;
    case QMessageBox::Cancel:
      return Answer::kCancel;
    default:
      break;
  }
  return SafeAnswer(buttons);
}

}  // namespace os::qt
