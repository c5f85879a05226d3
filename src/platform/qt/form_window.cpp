#include "platform/qt/form_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <vector>

#include "core/failure.h"
#include "platform/qt/fonts.h"
#include "platform/qt/qt_text.h"

namespace corabind::qt {

// The window. A close from the frame unloads the form without running any
// handler. Enter and Escape click the buttons the form binds to them, or
// nothing: QDialog's own handling (Escape rejects, Enter clicks an
// auto-default button) never runs, so an unbound key leaves the window as
// it is.
class FormDialog : public QDialog {
 public:
  std::function<void()> on_frame_close;
  QPushButton* enter_button = nullptr;
  QPushButton* escape_button = nullptr;

  void reject() override {
    if (on_frame_close) on_frame_close();
    QDialog::reject();
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    QPushButton* bound = nullptr;
    switch (event->key()) {
      case Qt::Key_Escape:
        bound = escape_button;
        break;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        bound = enter_button;
        break;
      default:
        QDialog::keyPressEvent(event);
        return;
    }
    if (bound && bound->isEnabled()) {
      bound->click();
    } else {
      event->ignore();
    }
  }
};

namespace {

// Pixels between a label's box and its text.
constexpr int kLabelIndent = 3;

// Multi-line text boxes keep CR LF line ends, as the control's text does;
// Qt edits with LF.
QString ToEditorText(const std::u16string& text) {
  QString s = ToQString(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

std::u16string FromEditorText(const QString& text) {
  QString s = text;
  s.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return FromQString(s);
}

// When the model rewrites what the user typed, the cursor keeps its distance
// from the end: "12a" becomes "12" with the cursor after the 2, and an
// emptied field that shows "0" has the cursor after the 0, so the next digit
// typed replaces it instead of landing in front of it.
int KeptCursor(int old_position, qsizetype old_length, qsizetype new_length) {
  const qsizetype position = new_length - (old_length - old_position);
  return static_cast<int>(std::clamp<qsizetype>(position, 0, new_length));
}

}  // namespace

FormWindow::FormWindow(Form& form) : form_(form), dialog_(std::make_unique<FormDialog>()) {
  Build();
}

FormWindow::~FormWindow() {
  for (auto& [model, hook] : previous_hooks_) model->on_model_changed = std::move(hook);
}

QDialog& FormWindow::dialog() const {
  return *dialog_;
}

QWidget* FormWindow::View(const std::u16string& name) const {
  for (const auto& [model, view] : views_) {
    if (model->name() == name) return view;
  }
  return nullptr;
}

void FormWindow::Build() {
  QDialog& d = *dialog_;
  d.setObjectName(ToQString(form_.name()));
  d.setWindowTitle(ToQString(form_.caption()));
  d.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  d.setFont(ResolveFont({}, form_.font()));
  d.setFixedSize(form_.client_size().width, form_.client_size().height);
  dialog_->on_frame_close = [this] { form_.CloseFromFrame(); };

  // Frames first, so that every widget finds its container whatever the
  // order of the form's list.
  std::map<std::u16string, QWidget*> frames;
  for (const auto& w : form_.widgets()) {
    if (w->kind() != WidgetKind::kFrame) continue;
    if (!w->design().container.empty())
      throw Failure(err::kInvalidCall, u"The frame " + w->name() + u" cannot sit in a frame");
    frames[w->name()] = Create(*w, &d);
  }
  for (const auto& w : form_.widgets()) {
    if (w->kind() == WidgetKind::kFrame) continue;
    QWidget* parent = &d;
    if (const auto& c = w->design().container; !c.empty()) {
      auto it = frames.find(c);
      if (it == frames.end())
        throw Failure(err::kInvalidCall, u"The control " + w->name() + u" names no frame " + c);
      parent = it->second;
    }
    Create(*w, parent);
  }
  // A list's heading stays on one line over the columns it names, in the
  // lines' font.
  std::vector<std::pair<QLabel*, QListWidget*>> headings;
  for (const auto& w : form_.widgets()) {
    if (w->kind() != WidgetKind::kListBox) continue;
    const std::u16string& heading = static_cast<const ListBox&>(*w).heading();
    if (heading.empty()) continue;
    auto* label = qobject_cast<QLabel*>(View(heading));
    if (!label)
      throw Failure(err::kInvalidCall, u"The heading " + heading + u" of " + w->name() +
                                           u" is no label of the form " + form_.name());
    label->setWordWrap(false);
    headings.emplace_back(label, static_cast<QListWidget*>(View(w->name())));
  }
  FitCaptions(d);
  for (auto [label, list] : headings) FitListHeading(*label, *list);
  ApplyTabOrder();
  dialog_->enter_button = KeyButton(form_.enter_button());
  dialog_->escape_button = KeyButton(form_.escape_button());
  // Drawn as the window's default button.
  if (dialog_->enter_button) dialog_->enter_button->setDefault(true);

  for (const auto& w : form_.widgets()) {
    Widget* model = w.get();
    previous_hooks_[model] = model->on_model_changed;
    model->on_model_changed = [this, model] { Refresh(*model); };
  }
  RefreshAll();

  QWidget* focus = form_.initial_focus().empty() ? nullptr : View(form_.initial_focus());
  // Focus set on a hidden window is given when the window becomes active.
  if (focus) focus->setFocus(Qt::OtherFocusReason);
}

// Each widget kind is bound here, in one place: the Qt widget it is drawn
// as, what the user's input does to the model, and how the widget is
// brought in line with the model (`refresh`, none for static kinds).
QWidget* FormWindow::Create(Widget& model, QWidget* parent) {
  const WidgetDesign& design = model.design();
  const QString caption = ToQString(design.caption);
  QWidget* view = nullptr;
  std::function<void()> refresh;
  switch (model.kind()) {
    case WidgetKind::kLabel: {
      auto* label = new QLabel(caption, parent);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      label->setWordWrap(true);
      // Text kept off the edge of the window or frame it sits against.
      label->setContentsMargins(kLabelIndent, 0, 0, 0);
      view = label;
      break;
    }
    case WidgetKind::kFrame:
      view = new QGroupBox(caption, parent);
      break;
    case WidgetKind::kTextBox: {
      auto& box = static_cast<TextBox&>(model);
      if (box.multi_line()) {
        auto* area = new QPlainTextEdit(parent);
        area->setTabChangesFocus(true);
        QObject::connect(area, &QPlainTextEdit::textChanged, area, [this, &box, area] {
          UserAction([&] { box.SetText(FromEditorText(area->toPlainText())); });
        });
        refresh = [&box, area] {
          const QString text = ToEditorText(box.text());
          if (const QString old = area->toPlainText(); old != text) {
            const int cursor = area->textCursor().position();
            area->setPlainText(text);
            QTextCursor c = area->textCursor();
            c.setPosition(KeptCursor(cursor, old.size(), text.size()));
            area->setTextCursor(c);
          }
        };
        view = area;
      } else {
        auto* edit = new QLineEdit(parent);
        // The layout sets no limit: none, rather than Qt's default of 32767.
        edit->setMaxLength(std::numeric_limits<int>::max());
        QObject::connect(edit, &QLineEdit::textEdited, edit, [this, &box](const QString& text) {
          UserAction([&] { box.SetText(FromQString(text)); });
        });
        refresh = [&box, edit] {
          const QString text = ToQString(box.text());
          if (edit->text() != text) {
            const int cursor = edit->cursorPosition();
            const qsizetype old_length = edit->text().size();
            // Typing rewritten by the model keeps the cursor; a value set by
            // the program (a chosen file's path) shows from its start.
            const bool typed = edit->isModified();
            edit->setText(text);
            edit->setCursorPosition(typed ? KeptCursor(cursor, old_length, text.size()) : 0);
          }
        };
        view = edit;
      }
      break;
    }
    case WidgetKind::kOptionButton: {
      auto& option = static_cast<OptionButton&>(model);
      auto* radio = new QRadioButton(caption, parent);
      // The model keeps the group: Qt's own exclusivity would refuse to show
      // a group with no option chosen.
      radio->setAutoExclusive(false);
      const std::u16string name = model.name();
      QObject::connect(radio, &QRadioButton::clicked, radio,
                       [this, name] { UserAction([&] { form_.Choose(name); }); });
      refresh = [&option, radio] { radio->setChecked(option.value()); };
      view = radio;
      break;
    }
    case WidgetKind::kCheckBox: {
      auto& check = static_cast<CheckBox&>(model);
      auto* box = new QCheckBox(caption, parent);
      QObject::connect(box, &QCheckBox::clicked, box, [this, &check](bool checked) {
        UserAction([&] { check.SetValue(checked ? 1 : 0); });
      });
      refresh = [&check, box] {
        const int value = check.value();
        box->setTristate(value == 2);
        box->setCheckState(value == 1   ? Qt::Checked
                           : value == 2 ? Qt::PartiallyChecked
                                        : Qt::Unchecked);
      };
      view = box;
      break;
    }
    case WidgetKind::kComboBox: {
      auto& combo_model = static_cast<ComboBox&>(model);
      auto* combo = new QComboBox(parent);
      combo->setEditable(true);
      combo->setInsertPolicy(QComboBox::NoInsert);
      combo->lineEdit()->setMaxLength(std::numeric_limits<int>::max());
      for (const auto& entry : combo_model.entries()) combo->addItem(ToQString(entry));
      QObject::connect(combo, &QComboBox::editTextChanged, combo,
                       [this, &combo_model](const QString& text) {
                         UserAction([&] { combo_model.SetText(FromQString(text)); });
                       });
      refresh = [&combo_model, combo] {
        const QString text = ToQString(combo_model.text());
        if (combo->currentText() != text) combo->setEditText(text);
      };
      view = combo;
      break;
    }
    case WidgetKind::kListBox: {
      auto& list_model = static_cast<ListBox&>(model);
      auto* list = new QListWidget(parent);
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      list->setUniformItemSizes(true);
      QObject::connect(list, &QListWidget::itemSelectionChanged, list, [this, &list_model, list] {
        const auto selected = list->selectedItems();
        const int row = selected.isEmpty() ? -1 : list->row(selected.front());
        UserAction([&] { list_model.Select(row); });
      });
      refresh = [&list_model, list] {
        const auto& lines = list_model.lines();
        bool same = list->count() == static_cast<int>(lines.size());
        for (int i = 0; same && i < list->count(); ++i)
          same = list->item(i)->text() == ToQString(lines[static_cast<std::size_t>(i)]);
        if (!same) {
          list->clear();
          for (const auto& line : lines) list->addItem(ToQString(line));
        }
        const int selected = static_cast<int>(list_model.Selected());
        if (selected < 0) {
          list->clearSelection();
          list->setCurrentRow(-1);
        } else if (list->currentRow() != selected || !list->item(selected)->isSelected()) {
          list->setCurrentRow(selected, QItemSelectionModel::ClearAndSelect);
        }
      };
      view = list;
      break;
    }
    case WidgetKind::kCommandButton: {
      auto& button_model = static_cast<CommandButton&>(model);
      auto* button = new QPushButton(caption, parent);
      button->setAutoDefault(false);
      button->setDefault(false);
      QObject::connect(button, &QPushButton::clicked, button,
                       [this, &button_model] { UserAction([&] { button_model.Click(); }); });
      view = button;
      break;
    }
  }
  view->setObjectName(ToQString(model.name()));
  view->setGeometry(design.box.left, design.box.top, design.box.width, design.box.height);
  view->setFont(ResolveFont(design.font, form_.font()));
  views_[&model] = view;
  if (refresh) refreshers_[&model] = std::move(refresh);
  return view;
}

void FormWindow::ApplyTabOrder() {
  std::vector<std::pair<int, QWidget*>> order;
  for (const auto& [model, view] : views_) {
    if (model->design().tab_index >= 0) {
      order.emplace_back(model->design().tab_index, view);
    } else if (model->kind() != WidgetKind::kLabel && model->kind() != WidgetKind::kFrame) {
      view->setFocusPolicy(Qt::NoFocus);
    }
  }
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t i = 1; i < order.size(); ++i)
    QWidget::setTabOrder(order[i - 1].second, order[i].second);
}

QPushButton* FormWindow::KeyButton(const std::u16string& name) const {
  if (name.empty()) return nullptr;
  auto* button = qobject_cast<QPushButton*>(View(name));
  if (!button)
    throw Failure(err::kInvalidCall,
                  u"The key button " + name + u" is no command button of the form " + form_.name());
  return button;
}

void FormWindow::RefreshAll() {
  for (const auto& w : form_.widgets()) Refresh(*w);
}

void FormWindow::Refresh(Widget& model) {
  auto it = refreshers_.find(&model);
  if (it == refreshers_.end()) return;
  const bool was_refreshing = refreshing_;
  refreshing_ = true;
  it->second();
  refreshing_ = was_refreshing;
}

template <class Action>
void FormWindow::UserAction(Action&& action) {
  if (refreshing_ || !form_.is_open()) return;
  try {
    action();
  } catch (...) {
    // Qt's event loop must not see an exception: keep the first failure,
    // end the showing and hand the failure to the caller of Exec.
    if (!failure_) failure_ = std::current_exception();
    if (form_.is_open()) form_.CloseFromFrame();
  }
  if (!form_.is_open()) {
    dialog_->done(QDialog::Accepted);
    return;
  }
  RefreshAll();
}

void ComeToFront(QDialog& window) {
  window.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  // Raised once shown: exec() maps the window first.
  QTimer::singleShot(0, &window, [&window] {
    window.raise();
    window.activateWindow();
  });
}

void FormWindow::Exec() {
  ComeToFront(*dialog_);
  if (form_.is_open()) dialog_->exec();
  // The loop can also end without the form's doing (the application
  // quitting); the showing is over either way.
  if (form_.is_open()) form_.CloseFromFrame();
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

}  // namespace corabind::qt
