INSERT INTO contact VALUES(1,'','山田 太郎');
INSERT INTO contact VALUES(2,'','明 李');
INSERT INTO data VALUES(1,1,1,'','山田 太郎','太郎 ','山田 ','','','','','','','','','','','',NULL);
INSERT INTO data VALUES(2,3,1,'','090 1234 5678','2','','','','','','','','','','','','',NULL);
INSERT INTO data VALUES(3,1,2,'','明 李',' 明','李','','','','','','','','','','','',NULL);
INSERT INTO data VALUES(4,3,2,'','138 0000 0001','2','','','','','','','','','','','','',NULL);
