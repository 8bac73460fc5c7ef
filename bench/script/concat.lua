local s = ""
for i = 0, 29999 do s = s .. "ab" end
print(#s)
