// STUB
