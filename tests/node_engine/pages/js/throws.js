// first line
function fail() {
  null.property;
}
fail();
