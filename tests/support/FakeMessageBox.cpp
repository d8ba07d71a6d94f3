#include "FakeMessageBox.h"

FakeMessageBox::FakeMessageBox() : previous_(&vb::messageBoxService())
{
    vb::setMessageBoxService(this);
}

FakeMessageBox::~FakeMessageBox()
{
    vb::setMessageBoxService(previous_);
}

int FakeMessageBox::show(const QString& prompt, int style, const QString& title)
{
    shown.append({prompt, style, title});
    return answers_.isEmpty() ? vb::vbOK : answers_.takeFirst();
}
