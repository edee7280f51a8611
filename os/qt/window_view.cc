// A window record drawn.
#include "os/qt/window_view.h"

#include <QAction>
#include <QCloseEvent>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <algorithm>
#include <map>

namespace os::qt {

namespace {

// The list keeps as many lines as the record's list does.
constexpr int kKeptLines = 5000;
// A record's size is that of a window holding one line; a list shown in it
// needs room for a screenful of lines to be read at all.
constexpr int kSmallestWidth = 560;
constexpr int kSmallestHeight = 300;

QString Text(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Menu labels carry no accelerator marks of their own; '&' is shown as is.
QString Label(const std::string& label) {
  return Text(label).replace(QLatin1Char('&'), QLatin1String("&&"));
}

}  // namespace

WindowView::WindowView(Window* record, const std::string& title, const WindowLook& look,
                       const std::vector<std::string>& lines)
    : record_(record), list_source_(look.list) {
  setWindowTitle(Text(title));
  setObjectName(Text(record->ClassName()));
  std::map<std::string, QMenu*> popups;
  for (const MenuEntry& entry : look.menu) {
    QWidget* holder = menuBar();
    if (!entry.popup.empty()) {
      QMenu*& popup = popups[entry.popup];
      if (popup == nullptr) popup = menuBar()->addMenu(Label(entry.popup));
      holder = popup;
    }
    if (entry.label == "-") {
      if (auto* menu = qobject_cast<QMenu*>(holder)) menu->addSeparator();
      continue;
    }
    auto* action = new QAction(Label(entry.label), holder);
    action->setObjectName(QStringLiteral("command_%1").arg(entry.command));
    action->setCheckable(entry.checkable);
    action->setChecked(entry.checked);
    long command = entry.command;
    // The check mark is the program's to set: a click only asks.
    connect(action, &QAction::triggered, this, [this, action, command](bool) {
      if (action->isCheckable()) action->setChecked(!action->isChecked());
      record_->Post({MessageKind::kCommand, command, 0});
    });
    holder->addAction(action);
  }
  if (look.list != nullptr) {
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("list"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setUniformItemSizes(true);
    for (const std::string& line : lines) AddLine(line);
    setCentralWidget(list_);
  } else {
    setCentralWidget(new QWidget(this));
  }
  Qt::WindowFlags flags = windowFlags();
  if (look.topmost) flags |= Qt::WindowStaysOnTopHint;
  setWindowFlags(flags);
  setAttribute(Qt::WA_ShowWithoutActivating, look.minimised);
  int width = look.width, height = look.height;
  if (look.list != nullptr) {
    width = std::max(width, kSmallestWidth);
    height = std::max(height, kSmallestHeight);
  }
  if (width > 0 && height > 0) resize(width, height);
  if (look.x >= 0 && look.y >= 0) move(look.x, look.y);
  Apply(look);
}

void WindowView::Apply(const WindowLook& look) {
  for (const MenuEntry& entry : look.menu) {
    if (!entry.checkable) continue;
    auto* action = findChild<QAction*>(QStringLiteral("command_%1").arg(entry.command));
    if (action != nullptr) action->setChecked(entry.checked);
  }
  if (list_ != nullptr) list_->setVisible(look.list_visible);
}

void WindowView::AddLine(const std::string& line) {
  if (list_ == nullptr) return;
  list_->insertItem(0, Text(line));
  while (list_->count() > kKeptLines) delete list_->takeItem(list_->count() - 1);
  list_->scrollToTop();
}

void WindowView::ClearLines() {
  if (list_ != nullptr) list_->clear();
}

void WindowView::closeEvent(QCloseEvent* event) {
  // The program decides: its window procedure may ask, refuse or destroy.
  event->ignore();
  record_->Post({MessageKind::kClose, 0, 0});
}

}  // namespace os::qt
