#include "platform/widgets/PageControl.h"

#include "platform/data/Guard.h"
#include "platform/widgets/Accessibility.h"
#include "platform/widgets/FormFocus.h"

#include <QTabBar>

namespace zel {

TTabSheet::TTabSheet(TPageControl* pageControl, const QString& name, const QString& caption)
    : QWidget(pageControl), pageControl_(pageControl)
{
    setObjectName(name);
    MarkControl(this);
    pageControl->programmatic_ = true;
    pageControl->addTab(this, caption);
    pageControl->programmatic_ = false;
}

int TTabSheet::PageIndex() const
{
    return pageControl_->indexOf(const_cast<TTabSheet*>(this));
}

QString TTabSheet::Caption() const
{
    return pageControl_->tabText(PageIndex());
}

void TTabSheet::setCaption(const QString& c)
{
    pageControl_->setTabText(PageIndex(), c);
}

bool TTabSheet::Enabled() const
{
    return pageControl_->isTabEnabled(PageIndex());
}

void TTabSheet::setEnabled(bool e)
{
    // The tab bar leaves a tab that gets disabled; the page shown stays.
    const int current = pageControl_->currentIndex();
    pageControl_->programmatic_ = true;
    pageControl_->setTabEnabled(PageIndex(), e);
    if (pageControl_->currentIndex() != current) pageControl_->setCurrentIndex(current);
    pageControl_->programmatic_ = false;
}

TPageControl::TPageControl(QWidget* parent, const QString& name) : QTabWidget(parent)
{
    setObjectName(name);
    MarkControl(this);
    InstallFocusTracker();
    MarkPart(tabBar());
    tabBar()->setProperty("zelPageTabs", true);
    ExposePageTabStates();
    // A click on another page's tab takes the focus from a control on the
    // page being left to the page control, before the page changes.
    connect(tabBar(), &QTabBar::tabBarClicked, this, [this](int index) {
        if (index >= 0 && index != currentIndex() && isTabEnabled(index)) takeFocusFromPage();
    });
    connect(this, &QTabWidget::currentChanged, this, [this] {
        if (!programmatic_ && OnChange) Guarded([this] { OnChange(this); });
    });
}

TTabSheet* TPageControl::Pages(int index) const
{
    return dynamic_cast<TTabSheet*>(widget(index));
}

TTabSheet* TPageControl::ActivePage() const
{
    return dynamic_cast<TTabSheet*>(currentWidget());
}

void TPageControl::SetActivePage(TTabSheet* page)
{
    if (page && indexOf(page) >= 0) setActivePageIndex(indexOf(page));
}

void TPageControl::takeFocusFromPage()
{
    // A control on the page being hidden hands the focus to the page control.
    QWidget* focused = window()->focusWidget();
    if (currentWidget() && focused && currentWidget()->isAncestorOf(focused)) tabBar()->setFocus(Qt::OtherFocusReason);
}

void TPageControl::setActivePageIndex(int index)
{
    if (index != currentIndex()) takeFocusFromPage();
    programmatic_ = true;
    setCurrentIndex(index);
    programmatic_ = false;
}

} // namespace zel
