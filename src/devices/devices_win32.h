// The listing of mice at start.
#pragma once

// Prints handle, name and information of every mouse the raw input facility knows.
void ListMouseDevices();
