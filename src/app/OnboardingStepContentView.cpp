#include "app/OnboardingStepContentView.h"

#include "app/SecondaryText.h"
#include "drawing/TintedIcon.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

OnboardingStepContentView::OnboardingStepContentView(QWidget *parent)
    : QWidget(parent)
    , iconView_(new QLabel)
    , titleLabel_(new QLabel)
    , descriptionLabel_(new QLabel)
    , keyForm_(new QWidget)
    , providerBox_(new QComboBox)
    , keyField_(new QLineEdit)
    , testButton_(new QPushButton(tr("Test")))
    , testResult_(new QLabel)
    , primaryButton_(new QPushButton)
    , secondaryButton_(new QPushButton(tr("Skip")))
    , dotContainer_(new QWidget)
{
    setAutoFillBackground(true);
    iconView_->setAlignment(Qt::AlignCenter);
    QFont title = titleLabel_->font();
    title.setBold(true);
    title.setPointSize(16);
    titleLabel_->setFont(title);
    titleLabel_->setAlignment(Qt::AlignCenter);
    descriptionLabel_->setAlignment(Qt::AlignCenter);
    descriptionLabel_->setWordWrap(true);
    descriptionLabel_->setTextFormat(Qt::PlainText);
    descriptionLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse); // commands to copy
    SecondaryText::apply(*descriptionLabel_);

    providerBox_->addItem(QStringLiteral("Anthropic"), QStringLiteral("anthropic"));
    providerBox_->addItem(QStringLiteral("OpenAI"), QStringLiteral("openai"));
    keyField_->setEchoMode(QLineEdit::Password);
    keyField_->setPlaceholderText(tr("Paste your API key"));
    testResult_->setWordWrap(true);
    testResult_->setTextFormat(Qt::PlainText);
    testResult_->setAlignment(Qt::AlignCenter);
    auto *keyLine = new QHBoxLayout;
    keyLine->addWidget(providerBox_);
    keyLine->addWidget(keyField_, 1);
    keyLine->addWidget(testButton_);
    auto *form = new QVBoxLayout(keyForm_);
    form->setContentsMargins(0, 0, 0, 0);
    form->addLayout(keyLine);
    form->addWidget(testResult_);

    primaryButton_->setFixedWidth(240);
    secondaryButton_->setFlat(true);
    connect(primaryButton_, &QPushButton::clicked, this, [this] {
        if (onPrimary)
            onPrimary();
    });
    connect(secondaryButton_, &QPushButton::clicked, this, [this] {
        if (onSkip)
            onSkip();
    });
    new QHBoxLayout(dotContainer_);
    dotContainer_->layout()->setSpacing(8);

    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(40, 20, 40, 16);
    stack->setSpacing(12);
    stack->addStretch();
    stack->addWidget(iconView_);
    stack->addWidget(titleLabel_);
    stack->addWidget(descriptionLabel_);
    stack->addWidget(keyForm_);
    stack->addWidget(primaryButton_, 0, Qt::AlignHCenter);
    stack->addWidget(secondaryButton_, 0, Qt::AlignHCenter);
    stack->addStretch();
    stack->addWidget(dotContainer_, 0, Qt::AlignHCenter);
}

void OnboardingStepContentView::configure(const QIcon &icon, const QColor &tint, const QString &title,
                                          const QString &description, const QString &primaryTitle, bool showSkip,
                                          bool showKeyForm)
{
    iconView_->setPixmap(TintedIcon::pixmap(icon, tint, QSize(48, 48), devicePixelRatioF()));
    titleLabel_->setText(title);
    descriptionLabel_->setText(description);
    primaryButton_->setText(primaryTitle);
    secondaryButton_->setVisible(showSkip);
    keyForm_->setVisible(showKeyForm);
}

void OnboardingStepContentView::setProgress(int totalSteps, int currentStepIndex)
{
    totalSteps_ = totalSteps;
    currentStepIndex_ = currentStepIndex;
    QLayout *dots = dotContainer_->layout();
    while (QLayoutItem *item = dots->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    dotContainer_->setVisible(totalSteps >= 2);
    for (int i = 0; totalSteps >= 2 && i < totalSteps; ++i) {
        auto *dot = new QWidget;
        const bool current = i == currentStepIndex;
        const int size = current ? 8 : 6;
        dot->setFixedSize(size, size);
        dot->setObjectName(current ? QStringLiteral("currentDot") : QStringLiteral("dot"));
        QColor color = palette().color(current ? QPalette::Highlight : QPalette::WindowText);
        if (!current)
            color.setAlphaF(0.3f); // a separator's tone on light and dark themes alike
        dot->setStyleSheet(u"border-radius: " + QString::number(size / 2) + u"px; background: " +
                           color.name(QColor::HexArgb) + u';');
        dots->addWidget(dot);
    }
}

void OnboardingStepContentView::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && onPrimary) {
        onPrimary();
        return;
    }
    QWidget::keyPressEvent(event);
}
