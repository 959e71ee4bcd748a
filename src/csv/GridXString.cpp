// Grid::setCell for values held as XString: the cell takes the value's UTF-8 form.
#include "csv/Grid.h"

#include "text/XString.h"

bool Grid::setCell(int row, int col, XString& value) {
    return setCellUtf8(row, col, value.getUtf8());
}
