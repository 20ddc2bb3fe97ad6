#ifndef UPDOWN_H
#define UPDOWN_H

#include <QWidget>

class QLineEdit;
class QToolButton;

// A spinner with vertical arrows, bound one way to a buddy box: every step or
// assignment writes the value into the box as decimal digits, so the box's
// textChanged() runs before the step or assignment returns. Nothing is ever
// read back from the box. Steps stop at the ends of the range.
class UpDown : public QWidget
{
    Q_OBJECT
public:
    explicit UpDown(QWidget *parent = nullptr);

    int Value() const { return m_value; }
    void setValue(int value);

    int Min() const { return m_min; }
    int Max() const { return m_max; }
    void setRange(int min, int max);
    void setIncrement(int step) { m_increment = step; }

    void setBuddy(QLineEdit *buddy) { m_buddy = buddy; }

    void stepUp() { setValue(m_value + m_increment); }
    void stepDown() { setValue(m_value - m_increment); }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QToolButton *m_up;
    QToolButton *m_down;
    QLineEdit *m_buddy = nullptr;
    int m_value = 0;
    int m_min = 0;
    int m_max = 100;
    int m_increment = 1;
};

#endif
