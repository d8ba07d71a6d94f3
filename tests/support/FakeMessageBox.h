#pragma once
// A message-box service for tests: records every box and answers from a script (vbOK when the
// script is exhausted). Installs itself for its lifetime, over any installed before it: a
// window handed one made before another sees only its own boxes.

#include "runtime/MessageBox.h"

#include <QList>
#include <QString>

struct ShownBox { QString prompt; int style = 0; QString title; };

class FakeMessageBox final : public vb::MessageBoxService {
public:
    FakeMessageBox() : previous_(&vb::messageBoxService()) { vb::setMessageBoxService(this); }
    ~FakeMessageBox() override { vb::setMessageBoxService(previous_); }

    int show(const QString& prompt, int style, const QString& title) override
    {
        shown.append({prompt, style, title});
        return answers_.isEmpty() ? vb::vbOK : answers_.takeFirst();
    }

    // Answers for the next boxes, in order.
    void answer(std::initializer_list<int> answers) { answers_.append(answers); }

    QList<ShownBox> shown;

private:
    QList<int> answers_;
    vb::MessageBoxService* previous_ = nullptr;
};
