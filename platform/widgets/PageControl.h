#pragma once

#include "platform/widgets/Controls.h"

#include <QTabWidget>

namespace zel {

class TPageControl;

// A page of a page control; its children fill it by their Align.
class TTabSheet : public QWidget {
public:
    TTabSheet(TPageControl* pageControl, const QString& name = {}, const QString& caption = {});

    TPageControl* PageControl() const { return pageControl_; }
    int PageIndex() const;
    QString Caption() const;
    void setCaption(const QString& c);
    // A disabled page cannot be chosen by its tab and takes no input.
    bool Enabled() const;
    void setEnabled(bool e);

private:
    TPageControl* pageControl_;
};

// Pages with tabs. SetActivePage and setActivePageIndex change the page for the
// program and run nothing; OnChange runs when the user switches the page.
class TPageControl : public QTabWidget {
public:
    explicit TPageControl(QWidget* parent = nullptr, const QString& name = {});

    int PageCount() const { return count(); }
    TTabSheet* Pages(int index) const;
    TTabSheet* ActivePage() const;
    void SetActivePage(TTabSheet* page);
    int ActivePageIndex() const { return currentIndex(); }
    void setActivePageIndex(int index);

    TNotifyEvent OnChange;

private:
    friend class TTabSheet;
    void takeFocusFromPage();
    bool programmatic_ = false;
};

} // namespace zel
