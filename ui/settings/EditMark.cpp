#include "EditMark.h"

#include <QVariant>
#include <QWidget>

namespace {
constexpr const char *kProperty = "editMark";
}

int EditMark::of(const QWidget *control)
{
    return control->property(kProperty).toInt();
}

void EditMark::set(QWidget *control, int mark)
{
    control->setProperty(kProperty, mark);
}
