// Dialog descriptions drawn as forms.
#include "os/qt/dialog_form.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <string>

namespace os::qt {

namespace {

// Forms taller than this scroll (a long category list).
constexpr int kTallestForm = 480;
// A text that can end a sentence row ("links away", "Name:").
constexpr size_t kShortText = 24;
constexpr int kEditWidth = 320;
constexpr int kWrappedWidth = 400;
constexpr int kNumberEditWidth = 56;

QString Text(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A label on a button or box: '&' shown as itself, not as a shortcut mark.
QString ButtonText(const std::string& text) {
  return Text(text).replace(QLatin1Char('&'), QLatin1String("&&"));
}

bool Short(const DialogControl& c) {
  return c.label.size() <= kShortText && c.label.find('\n') == std::string::npos;
}

// Where each control goes: true when it stays on the row of the one before.
std::vector<bool> JoinedRows(const std::vector<DialogControl>& controls) {
  std::vector<bool> joined(controls.size(), false);
  bool sentence = false;  // the current row continues after an unlabelled edit
  const DialogControl* before = nullptr;
  for (size_t i = 0; i < controls.size(); ++i) {
    const DialogControl& c = controls[i];
    if (c.kind == ControlKind::kButton) continue;
    bool join = c.same_row && before != nullptr;
    if (!join && before != nullptr) {
      if (c.kind == ControlKind::kEdit && c.label.empty() && !c.multi_line &&
          (before->kind == ControlKind::kCheckBox ||
           (before->kind == ControlKind::kStatic && Short(*before)))) {
        join = true;
        sentence = true;
      } else if (sentence &&
                 ((c.kind == ControlKind::kStatic && Short(c)) || c.kind == ControlKind::kRadio) &&
                 (before->kind == ControlKind::kEdit || before->kind == ControlKind::kRadio ||
                  before->kind == ControlKind::kStatic)) {
        join = true;
      }
    }
    if (!join) sentence = false;
    joined[i] = join;
    before = &c;
  }
  return joined;
}

// An edit that holds a number of a few digits is drawn narrow.
bool NumberEdit(const DialogControl& c) {
  return c.max_length > 0 && c.max_length <= 8;
}

}  // namespace

DialogForm::DialogForm(Dialog& dialog, QWidget* parent) : QDialog(parent), dialog_(dialog) {
  setObjectName(QStringLiteral("dialog_%1").arg(dialog.ResourceId()));
  setWindowTitle(Text(dialog.Caption()));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setWindowFlag(Qt::WindowStaysOnTopHint);

  auto* outer = new QVBoxLayout(this);
  auto* content = new QWidget;
  auto* rows = new QVBoxLayout(content);
  rows->setContentsMargins(0, 0, 0, 0);
  rows->setSpacing(8);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  std::map<int, QButtonGroup*> groups;

  const std::vector<DialogControl>& controls = dialog.Controls();
  std::vector<bool> joined = JoinedRows(controls);
  QHBoxLayout* row = nullptr;
  for (size_t i = 0; i < controls.size(); ++i) {
    const DialogControl& c = controls[i];
    int index = static_cast<int>(i);
    int id = c.id;
    QString name = QStringLiteral("control_%1").arg(id);
    Drawn drawn;
    if (c.kind == ControlKind::kButton) {
      auto* button = new QPushButton(ButtonText(c.label));
      button->setObjectName(name);
      button->setDefault(c.is_default);
      button->setAutoDefault(c.is_default);
      connect(button, &QPushButton::clicked, this, [this, id] { done(id); });
      buttons->addWidget(button);
      drawn.widget = button;
      drawn_[index] = drawn;
      continue;
    }
    if (!joined[i] || row == nullptr) {
      if (row != nullptr) row->addStretch(1);
      row = new QHBoxLayout;
      row->setSpacing(6);
      rows->addLayout(row);
    }
    switch (c.kind) {
      case ControlKind::kStatic: {
        auto* label = new QLabel(Text(c.label));
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(!Short(c));
        // A wrapped text gets the width of the form's edits, not a column.
        if (!Short(c)) label->setMinimumWidth(kWrappedWidth);
        if (id > 0) label->setObjectName(name);
        drawn.widget = label;
        row->addWidget(label, Short(c) ? 0 : 1);
        break;
      }
      case ControlKind::kEdit: {
        if (!c.label.empty()) {
          auto* label = new QLabel(Text(c.label));
          drawn.label = label;
          row->addWidget(label);
        }
        if (c.multi_line) {
          auto* edit = new QPlainTextEdit;
          edit->setObjectName(name);
          edit->setMinimumWidth(kEditWidth);
          connect(edit, &QPlainTextEdit::textChanged, this, [this, edit, id] {
            if (edit->toPlainText().toStdString() == dialog_.Text(id)) return;
            dialog_.UserType(id, edit->toPlainText().toStdString());
            Refresh();
          });
          drawn.widget = edit;
          row->addWidget(edit, 1);
        } else {
          auto* edit = new QLineEdit;
          edit->setObjectName(name);
          if (c.max_length > 0) edit->setMaxLength(static_cast<int>(c.max_length));
          if (NumberEdit(c)) {
            edit->setFixedWidth(kNumberEditWidth);
            edit->setAlignment(Qt::AlignRight);
          } else {
            edit->setMinimumWidth(kEditWidth);
          }
          connect(edit, &QLineEdit::textEdited, this, [this, id](const QString& text) {
            dialog_.UserType(id, text.toStdString());
            Refresh();
          });
          drawn.widget = edit;
          row->addWidget(edit, NumberEdit(c) ? 0 : 1);
        }
        break;
      }
      case ControlKind::kCheckBox: {
        auto* box = new QCheckBox(ButtonText(c.label));
        box->setObjectName(name);
        connect(box, &QCheckBox::clicked, this, [this, id](bool checked) {
          dialog_.UserCheck(id, checked);
          Refresh();
        });
        drawn.widget = box;
        row->addWidget(box);
        break;
      }
      case ControlKind::kRadio: {
        auto* radio = new QRadioButton(ButtonText(c.label));
        radio->setObjectName(name);
        QButtonGroup*& group = groups[c.group];
        if (group == nullptr) group = new QButtonGroup(this);
        group->addButton(radio);
        connect(radio, &QRadioButton::clicked, this, [this, id] {
          dialog_.UserSelectRadio(id);
          Refresh();
        });
        drawn.widget = radio;
        row->addWidget(radio);
        break;
      }
      case ControlKind::kButton:
        break;
    }
    drawn_[index] = drawn;
  }
  if (row != nullptr) row->addStretch(1);
  rows->addStretch(1);

  if (content->sizeHint().height() > kTallestForm) {
    auto* scroll = new QScrollArea;
    scroll->setWidget(content);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setMinimumHeight(kTallestForm);
    scroll->setMinimumWidth(content->sizeHint().width() + 24);
    outer->addWidget(scroll, 1);
  } else {
    outer->addWidget(content, 1);
  }
  outer->addSpacing(6);
  outer->addLayout(buttons);
  Refresh();
  // The form takes the size its rows need and keeps it.
  outer->setSizeConstraint(QLayout::SetFixedSize);
}

void DialogForm::Refresh() {
  const std::vector<DialogControl>& controls = dialog_.Controls();
  for (auto& [index, drawn] : drawn_) {
    const DialogControl& c = controls[static_cast<size_t>(index)];
    QWidget* widget = drawn.widget;
    QSignalBlocker blocker(widget);
    widget->setEnabled(c.enabled);
    if (drawn.label != nullptr) drawn.label->setEnabled(c.enabled);
    switch (c.kind) {
      case ControlKind::kEdit:
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
          QString text = Text(c.text);
          if (edit->text() != text) edit->setText(text);
        } else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) {
          QString text = Text(c.text);
          if (plain->toPlainText() != text) plain->setPlainText(text);
        }
        break;
      case ControlKind::kCheckBox:
        static_cast<QCheckBox*>(widget)->setChecked(c.checked);
        break;
      case ControlKind::kRadio: {
        auto* radio = static_cast<QRadioButton*>(widget);
        if (radio->isChecked() != c.checked) {
          // An exclusive group refuses to clear its checked button.
          QButtonGroup* group = radio->group();
          if (group != nullptr && !c.checked) group->setExclusive(false);
          radio->setChecked(c.checked);
          if (group != nullptr) group->setExclusive(true);
        }
        break;
      }
      case ControlKind::kStatic:
        static_cast<QLabel*>(widget)->setText(Text(c.label));
        break;
      case ControlKind::kButton:
        break;
    }
  }
}

void DialogForm::done(int result) {
  // QDialog's own codes: Rejected (0) is a close of the window.
  pressed_ = result > 0 ? result : kIdCancel;
  QDialog::done(pressed_);
}

void DialogForm::reject() {
  done(kIdCancel);
}

}  // namespace os::qt
