// The windowed desktop.
#include "os/qt/qt_desktop.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QThread>

#include "os/dialog.h"
#include "os/qt/dialog_form.h"
#include "os/qt/file_chooser.h"
#include "os/qt/gui_bridge.h"
#include "os/qt/message_box.h"
#include "os/qt/status_dialog.h"
#include "os/qt/window_view.h"

namespace os::qt {

namespace {

// Shown in front and given the focus: the program's own window is
// minimised, so the question must not hide behind another program's.
void Present(QWidget* widget) {
  widget->show();
  widget->raise();
  widget->activateWindow();
}

}  // namespace

// Whether Esc is held down in one of the program's windows: set by its
// press, cleared by its release or when the window or the program loses
// the keyboard. Esc pressed in another program (the browser) is not seen.
class EscWatch : public QObject {
 public:
  bool Down() const { return down_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
      case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && !key->isAutoRepeat())
          down_ = event->type() == QEvent::KeyPress;
        break;
      }
      // A window closed or left by the key (Esc cancels a dialog) may
      // never see the key's release.
      case QEvent::ApplicationDeactivate:
      case QEvent::WindowDeactivate:
      case QEvent::Hide:
        down_ = false;
        break;
      default:
        break;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::atomic<bool> down_{false};
};

QtDesktop::QtDesktop() : esc_watch_(std::make_unique<EscWatch>()) {
  if (QCoreApplication* application = QCoreApplication::instance())
    application->installEventFilter(esc_watch_.get());
}

QtDesktop::~QtDesktop() {
  for (auto& [window, view] : views_) delete view;
  if (QCoreApplication* application = QCoreApplication::instance())
    application->removeEventFilter(esc_watch_.get());
}

bool QtDesktop::OnGuiThread() {
  return qt::OnGuiThread();
}

void QtDesktop::PumpEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  QThread::msleep(1);
}

Answer QtDesktop::Ask(const Window* /*owner*/, std::string_view text, std::string_view title,
                      Icon icon, Buttons buttons) {
  std::string text_copy(text), title_copy(title);
  Answer safe = SafeAnswer(buttons);
  Reply reply = AskGui(
      [=](ReplyFunction done) {
        QMessageBox* box = MakeMessageBox(text_copy, title_copy, icon, buttons);
        QObject::connect(box, &QDialog::finished, box, [box, buttons, done](int) {
          done({static_cast<int>(BoxAnswer(*box, buttons)), {}});
        });
        box->setModal(false);
        Present(box);
      },
      {static_cast<int>(safe), {}});
  return static_cast<Answer>(reply.code);
}

int QtDesktop::RunDialog(const Window* /*owner*/, Dialog& dialog) {
  Dialog* described = &dialog;
  Reply reply = AskGui(
      [described](ReplyFunction done) {
        auto* form = new DialogForm(*described);
        QObject::connect(form, &QDialog::finished, form, [form, done](int) {
          done({form->Pressed(), {}});
          form->deleteLater();
        });
        Present(form);
      },
      {kIdCancel, {}});
  return reply.code;
}

bool QtDesktop::ChooseFile(bool save, const Window* /*owner*/, std::string_view title,
                           std::string_view filter, const std::vector<std::string>& proposals,
                           std::string* path) {
  std::string title_copy(title), filter_copy(filter), start = *path;
  Reply reply = AskGui(
      [=](ReplyFunction done) {
        QFileDialog* chooser = MakeFileChooser(save, title_copy, filter_copy, proposals, start);
        QObject::connect(chooser, &QDialog::finished, chooser, [chooser, done](int result) {
          QStringList files = chooser->selectedFiles();
          if (result == QDialog::Accepted && !files.isEmpty())
            done({1, files.front().toStdString()});
          else
            done({0, {}});
          chooser->deleteLater();
        });
        Present(chooser);
      },
      {0, {}});
  if (reply.code != 1 || reply.text.empty()) return false;
  *path = reply.text;
  return true;
}

bool QtDesktop::KeyDown(Key key) {
  // Esc is seen by the program only while one of its windows has the
  // keyboard (a long operation's question comes up then).
  if (key == Key::kEsc) return esc_watch_->Down();
  Qt::KeyboardModifiers modifiers;
  RunOnGui([&modifiers] { modifiers = QGuiApplication::queryKeyboardModifiers(); });
  return modifiers.testFlag(key == Key::kCtrl ? Qt::ControlModifier : Qt::AltModifier);
}

void QtDesktop::ShowTimedStatus(std::string_view caption, std::string_view text, int milliseconds) {
  std::string caption_copy(caption), text_copy(text);
  AskGui(
      [=](ReplyFunction done) {
        QDialog* dialog = MakeStatusDialog(caption_copy, text_copy, milliseconds);
        QObject::connect(dialog, &QDialog::finished, dialog, [dialog, done](int) {
          done({});
          dialog->deleteLater();
        });
        dialog->setAttribute(Qt::WA_ShowWithoutActivating);
        dialog->show();
        dialog->raise();
      },
      {});
}

WindowView* QtDesktop::View(const Window* window) const {
  auto found = views_.find(window);
  return found != views_.end() ? found->second : nullptr;
}

void QtDesktop::WindowShown(Window& window) {
  // Read now, on the caller's thread: the record may be gone by the time
  // the GUI thread draws. Lines appended after the copy arrive after it.
  WindowLook look = window.Look();
  std::vector<std::string> lines;
  if (look.list != nullptr) lines = look.list->Lines();
  Window* record = &window;
  std::string title = window.Title();
  PostToGui([this, record, look, lines, title] {
    delete View(record);
    auto* view = new WindowView(record, title, look, lines);
    views_[record] = view;
    if (look.minimised)
      view->showMinimized();
    else
      view->show();
  });
}

void QtDesktop::WindowChanged(Window& window) {
  WindowLook look = window.Look();
  const Window* record = &window;
  PostToGui([this, record, look] {
    if (WindowView* view = View(record)) view->Apply(look);
  });
}

void QtDesktop::WindowGone(Window& window) {
  // Waited for: once the record is freed, no click may post to it.
  const Window* record = &window;
  RunOnGui([this, record] {
    auto found = views_.find(record);
    if (found == views_.end()) return;
    WindowView* view = found->second;
    views_.erase(found);
    delete view;
  });
}

void QtDesktop::ListAppended(TraceList& list, std::string_view line) {
  const TraceList* source = &list;
  PostToGui([this, source, text = std::string(line)] {
    for (auto& [window, view] : views_)
      if (view->List() == source) view->AddLine(text);
  });
}

void QtDesktop::ListCleared(TraceList& list) {
  const TraceList* source = &list;
  PostToGui([this, source] {
    for (auto& [window, view] : views_)
      if (view->List() == source) view->ClearLines();
  });
}

}  // namespace os::qt
