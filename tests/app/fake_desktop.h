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
    std::function<void()> duringDialog;  // runs while a file or folder dialog is open
    struct Box {
        QString text, caption;
    };
    std::vector<Box> messages, errors, questions, saveQuestions;
    std::vector<QUrl> urls;
    int moves = 0;
    bool systemMoves = true;  // whether the system takes over a window move

    QStringList chooseImages(QWidget*) override {
        dialog();
        return images;
    }
    QString chooseImage(QWidget*) override {
        dialog();
        return image;
    }
    QString chooseFolder(QWidget*, const QString&) override {
        dialog();
        return folder;
    }
    // Page lists: the file the dialogs return, and the answer to the save question.
    QString listToOpen, listToSave;
    app::SaveAnswer saveAnswer = app::SaveAnswer::Discard;
    QString chooseListToOpen(QWidget*) override {
        dialog();
        return listToOpen;
    }
    QString chooseListToSave(QWidget*, const QString&) override {
        dialog();
        return listToSave;
    }
    app::SaveAnswer askToSave(QWidget*, const QString& t, const QString& c) override {
        saveQuestions.push_back({t, c});
        return saveAnswer;
    }
    void dialog() {
        if (duringDialog)
            duringDialog();
    }
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
    std::optional<QString> text;           // askText's answer; none: cancelled
    std::vector<Box> asked;                // askText's caption and the text offered
    std::optional<epub::BookDetails> details;  // what the details dialog ends with
    std::optional<QString> askText(QWidget*, const QString& caption, const QString&,
                                   const QString& initial) override {
        asked.push_back({initial, caption});
        return text;
    }
    bool editDetails(QWidget*, epub::BookDetails& d) override {
        if (!details)
            return false;
        d = *details;
        return true;
    }
    void openUrl(const QUrl& u) override { urls.push_back(u); }
    bool startWindowMove(QWidget*) override {
        ++moves;
        return systemMoves;
    }
};

}  // namespace pagelume::test
