#include "shell/TaskDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QStyle::StandardPixmap PixmapOf(TUserPrompt::TTaskImage image) {
  switch (image) {
    case TUserPrompt::IMAGE_QUESTION:
      return QStyle::SP_MessageBoxQuestion;
    case TUserPrompt::IMAGE_INFORMATION:
      return QStyle::SP_MessageBoxInformation;
    case TUserPrompt::IMAGE_STOP:
      return QStyle::SP_MessageBoxCritical;
    case TUserPrompt::IMAGE_EXIT:
      return QStyle::SP_DialogCloseButton;
    case TUserPrompt::IMAGE_CLOSE_WINDOW:
    default:
      return QStyle::SP_TitleBarCloseButton;
  }
}

QList<TUserPrompt::TTaskButton> ButtonsOf(const TUserPrompt::TTask& task) {
  if (!task.customButtons.isEmpty()) return task.customButtons;
  QList<TUserPrompt::TTaskButton> buttons;
  if (task.buttons == TUserPrompt::BUTTONS_YESNO) {
    buttons.append({u"Yes"_s, TUserPrompt::RESULT_YES, true, false, true});
    buttons.append({u"No"_s, TUserPrompt::RESULT_NO, false, true, false});
  } else if (task.buttons == TUserPrompt::BUTTONS_OK) {
    buttons.append({u"Ok"_s, TUserPrompt::RESULT_OK, true, true, true});
  }
  return buttons;
}

// Automation finds buttons by name: btnYes, btnNo, btnOk, or btnResult<n>.
QString ButtonName(const TUserPrompt::TTaskButton& b) {
  switch (b.result) {
    case TUserPrompt::RESULT_YES:
      return u"btnYes"_s;
    case TUserPrompt::RESULT_NO:
      return u"btnNo"_s;
    case TUserPrompt::RESULT_OK:
      return u"btnOk"_s;
    case TUserPrompt::RESULT_CANCEL:
      return u"btnCancel"_s;
    default:
      return u"btnResult"_s + QString::number(b.result);
  }
}

}  // namespace

TTaskDialog::TTaskDialog(const TUserPrompt::TTask& task, QWidget* parent)
    : QDialog(parent), fResult(TUserPrompt::DefaultTaskResult(task)), fCancelResult(fResult) {
  setObjectName(u"frmTaskDialog"_s);
  setWindowTitle(task.caption);
  setModal(true);
  auto* layout = new QVBoxLayout(this);

  auto* top = new QHBoxLayout;
  if (task.image != TUserPrompt::IMAGE_NONE) {
    auto* icon = new QLabel(this);
    icon->setObjectName(u"imgIcon"_s);
    const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(PixmapOf(task.image), nullptr, this).pixmap(size, size));
    icon->setAlignment(Qt::AlignTop);
    top->addWidget(icon, 0, Qt::AlignTop);
  }
  auto* texts = new QVBoxLayout;
  if (!task.title.isEmpty()) {
    auto* title = new QLabel(task.title, this);
    title->setObjectName(u"lblTitle"_s);
    title->setTextFormat(Qt::PlainText);
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    title->setFont(bold);
    title->setWordWrap(true);
    texts->addWidget(title);
  }
  auto* text = new QLabel(task.text, this);
  text->setObjectName(u"lblText"_s);
  text->setTextFormat(Qt::RichText);
  text->setWordWrap(true);
  text->setOpenExternalLinks(true);
  text->setTextInteractionFlags(Qt::TextBrowserInteraction);
  texts->addWidget(text);
  top->addLayout(texts, 1);
  layout->addLayout(top);

  if (!task.extraText.isEmpty()) {
    fExpand = new QToolButton(this);
    fExpand->setObjectName(u"btnExpand"_s);
    fExpand->setText(u"More information"_s);
    fExpand->setToolTip(task.expandHint);
    fExpand->setCheckable(true);
    fExpand->setArrowType(Qt::RightArrow);
    fExpand->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    fExpand->setAutoRaise(true);
    fExtra = new QLabel(task.extraText, this);
    fExtra->setObjectName(u"lblExtraText"_s);
    fExtra->setWordWrap(true);
    fExtra->setTextFormat(Qt::AutoText);
    fExtra->setVisible(false);
    connect(fExpand, &QToolButton::toggled, this, [this](bool on) {
      fExtra->setVisible(on);
      fExpand->setArrowType(on ? Qt::DownArrow : Qt::RightArrow);
      adjustSize();
    });
    layout->addWidget(fExpand, 0, Qt::AlignLeft);
    layout->addWidget(fExtra);
  }

  auto* bottom = new QHBoxLayout;
  if (!task.dropDown.isEmpty()) {
    fDropDown = new QComboBox(this);
    fDropDown->setObjectName(u"cmbChoice"_s);
    fDropDown->addItems(task.dropDown);
    fDropDown->setCurrentIndex(qBound(0, task.dropDownIndex, static_cast<int>(task.dropDown.size()) - 1));
    bottom->addWidget(fDropDown);
  }
  bottom->addStretch(1);
  for (const TUserPrompt::TTaskButton& b : ButtonsOf(task)) AddButton(b, bottom);
  layout->addLayout(bottom);

  if (task.width > 0)
    setFixedWidth(task.width);
  else
    setMinimumWidth(360);
}

void TTaskDialog::AddButton(const TUserPrompt::TTaskButton& b, QHBoxLayout* row) {
  auto* button = new QPushButton(b.text, this);
  button->setObjectName(ButtonName(b));
  button->setMinimumWidth(b.width > 0 ? b.width : 75);
  button->setAutoDefault(false);
  button->setDefault(b.isDefault);
  if (b.isCancel) fCancelResult = b.result;
  if (b.hasFocus) button->setFocus();
  const int result = b.result;
  connect(button, &QPushButton::clicked, this, [this, result] { Finish(result); });
  row->addWidget(button);
}

void TTaskDialog::Finish(int result) {
  fResult = result;
  done(result == TUserPrompt::RESULT_CANCEL || result == TUserPrompt::RESULT_NO ? Rejected : Accepted);
}

void TTaskDialog::reject() {
  fResult = fCancelResult;
  QDialog::reject();
}

int TTaskDialog::DropDownIndex() const { return fDropDown ? fDropDown->currentIndex() : 0; }

bool TTaskDialog::IsExtraTextShown() const { return fExtra && fExtra->isVisible(); }

int TTaskDialog::Execute(TUserPrompt::TTask& task, QWidget* parent) {
  TTaskDialog dialog(task, parent ? parent : QApplication::activeWindow());
  dialog.exec();
  if (!task.dropDown.isEmpty()) task.dropDownIndex = dialog.DropDownIndex();
  return dialog.Result();
}
