// One generic renderer for every form: builds a QDialog from the form's
// layout data (client size, boxes at 96 dpi, captions, fonts, frames, tab
// order, initial focus, the buttons Enter and Escape click, list headings)
// and binds each Qt widget to its model both ways. User edits go to the model, which may rewrite
// them (the numeric field rule); model changes refresh the widget without echoing back.
#pragma once

#include <QDialog>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "core/form.h"

class QPushButton;
class QWidget;

namespace corabind::qt {

class FormDialog;

// Shows `window` above every other window (the browser a call came from
// among them) once it appears, and gives it the keyboard. With a window
// manager the stays-on-top hint keeps it there while it is open; without
// one, raising it and setting the input focus is all X11 offers.
void ComeToFront(QDialog& window);

class FormWindow {
 public:
  // The form is normally open (Form::Open has run) so that the window shows
  // the loaded values. Failure 5 when a widget names a missing frame.
  explicit FormWindow(Form& form);
  ~FormWindow();
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  QDialog& dialog() const;
  // The Qt widget drawn for the model widget `name`; nullptr when none.
  QWidget* View(const std::u16string& name) const;

  // Shows the window modally, without an owner, until the form is unloaded
  // by a handler or closed from the frame. A failure raised by a handler
  // closes the window and is rethrown here.
  void Exec();

 private:
  void Build();
  QWidget* Create(Widget& model, QWidget* parent);
  void ApplyTabOrder();
  // The view of the command button `name` that a key clicks; nullptr for
  // "". Failure 5 when the form has no such command button.
  QPushButton* KeyButton(const std::u16string& name) const;
  // Brings the Qt widget of `model` in line with the model's value.
  void Refresh(Widget& model);
  void RefreshAll();
  // Runs a user action against the models: ignored while the renderer
  // itself updates widgets; afterwards the window closes when the form was
  // unloaded, else every widget is brought up to date.
  template <class Action>
  void UserAction(Action&& action);

  Form& form_;
  std::unique_ptr<FormDialog> dialog_;
  std::map<const Widget*, QWidget*> views_;
  std::map<const Widget*, std::function<void()>> refreshers_;
  std::map<Widget*, std::function<void()>> previous_hooks_;
  bool refreshing_ = false;
  std::exception_ptr failure_;
};

}  // namespace corabind::qt
