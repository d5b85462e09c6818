#pragma once

#include <functional>
#include <vector>

#include "app/desktop.h"

namespace pagelume::test {

// Answers the window's dialogs from a script and records what it was shown.
struct FakeDesktop : app::Desktop {
    QStringList images;
    QString image, folder;
    bool answer = false;
    std::function<void()> duringQuestion;
    struct Box {
        QString text, caption;
    };
    std::vector<Box> messages, errors, questions;
    std::vector<QUrl> urls;
    int moves = 0;
    bool systemMoves = true;  // whether the system takes over a window move

    QStringList chooseImages(QWidget*) override { return images; }
    QString chooseImage(QWidget*) override { return image; }
    QString chooseFolder(QWidget*, const QString&) override { return folder; }
    void message(QWidget*, const QString& t, const QString& c) override {
        messages.push_back({t, c});
    }
    bool question(QWidget*, const QString& t, const QString& c) override {
        questions.push_back({t, c});
        if (duringQuestion)
            duringQuestion();
        return answer;
    }
    void error(QWidget*, const QString& t, const QString& c) override { errors.push_back({t, c}); }
    void openUrl(const QUrl& u) override { urls.push_back(u); }
    bool startWindowMove(QWidget*) override {
        ++moves;
        return systemMoves;
    }
};

}  // namespace pagelume::test
