#include "OpenProgressBar.h"

#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

OpenProgressBar::OpenProgressBar(QWidget* parent) : QWidget(parent) {
  setObjectName("openProgress");
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  bar_ = new QProgressBar(this);
  bar_->setObjectName("openProgressBar");
  bar_->setFormat("Fotos %v / %m");
  bar_->setTextVisible(true);
  bar_->setMinimumWidth(160);
  cancel_ = new QPushButton("Abbrechen", this);
  cancel_->setObjectName("cancelOpen");
  cancel_->setToolTip("Öffnen abbrechen (Esc); das geöffnete Panorama bleibt");
  layout->addWidget(bar_);
  layout->addWidget(cancel_);
  connect(cancel_, &QPushButton::clicked, this, &OpenProgressBar::requestCancel);
  finish();
}

void OpenProgressBar::showCount(int done, int total) {
  const int shownTotal = std::max(total, 0);
  if (isHidden() || bar_->maximum() != shownTotal) {
    bar_->setRange(0, shownTotal);
    bar_->setValue(0);
  }
  bar_->setValue(std::clamp(std::max(done, bar_->value()), 0, shownTotal));
  setVisible(true);
}

void OpenProgressBar::finish() {
  setVisible(false);
  bar_->setRange(0, 0);
  bar_->reset();
  cancel_->setEnabled(true);
}

QString OpenProgressBar::text() const { return bar_->text(); }

void OpenProgressBar::requestCancel() {
  if (isHidden() || !cancel_->isEnabled()) return;
  cancel_->setEnabled(false);  // asked once; the open ends shortly
  emit cancelRequested();
}
