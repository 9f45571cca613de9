// Chooses an item of a drop-down list as the operator does: opens the list
// and clicks the item, also when it is the one already shown.
#pragma once

#include <QAbstractItemView>
#include <QComboBox>
#include <QTest>

namespace testing_support {

inline void ChooseItem(QComboBox* box, int index) {
  box->showPopup();
  QAbstractItemView* view = box->view();
  const QPoint at = view->visualRect(view->model()->index(index, box->modelColumn())).center();
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
  if (view->isVisible()) box->hidePopup();
}

}  // namespace testing_support
